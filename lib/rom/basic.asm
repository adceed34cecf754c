; Our own C64 BASIC ROM ($A000-$BFFF). The interpreter runs natively behind
; traps: the byte $02 followed by a trap number (T_* below); the
; machine calls the interpreter when it fetches such a pair from this ROM.
; make_tables.py writes the trap numbers and the labelled entry points the
; interpreter jumps to into lib/basic/BasicRomLayout.h.
; What must run as 6502 code stays here: the vectors, the READY loop through
; $0302, the output loop through CHROUT, string output at $AB1E.
; Assemble with: acme -o basic.bin basic.asm   (8,192 bytes)
;
; Unused space holds RTS, so that a stray JSR into it simply returns.

!cpu 6502
* = $A000

!macro at .addr {
    !if * > .addr { !error "code overlaps the fixed entry point ", .addr, " at ", * }
    !fill .addr - *, $60
}
!macro trap .number {
    !byte $02, .number
}

T_NEXT_STATEMENT = 1
T_OUTPUT_CHAR    = 2
T_PRINT_CONTINUE = 3
T_SYS_RETURN     = 4
T_READY          = 5
T_REEXECUTE      = 6
T_INPUT_WAIT     = 7
T_LINE_PRINT     = 8
T_COLD_INIT      = 9
T_CLEAR          = 10
T_RUN_CLEAR      = 11
T_RESET_POINTER  = 12
T_LINK_PROGRAM   = 13
T_ERROR          = 14

CHROUT = $FFD2
CHRIN  = $FFCF
INDEX  = $22

    !word $E394             ; cold start
    !word $E37B             ; warm start
    !text "CBMBASIC"

+at $A474
ready:
    +trap T_READY
+at $A480
main:
    jmp ($0302)
+at $A483
main_body:                  ; wait for input as the C64 does, through the vectors
    jsr CHRIN
    jmp main

+at $A533
link_program:
    +trap T_LINK_PROGRAM
    rts

+at $A659
run_clear:                  ; text pointer to the start, then CLR
    +trap T_RUN_CLEAR
    rts
+at $A65E
clr_statement:
    +trap T_CLEAR
    rts
+at $A68E
reset_pointer:
    +trap T_RESET_POINTER
    rts

+at $A7AE
next_statement:
    +trap T_NEXT_STATEMENT

+at $AB1E
string_out:                 ; print the zero-ended string at A (low), Y (high)
    sta INDEX
    sty INDEX+1
    ldy #0
-   lda (INDEX),y
    beq +
    jsr CHROUT
    iny
    bne -
    inc INDEX+1
    bne -
+   rts

+at $BDCD
line_print:                 ; print the number X (low), A (high)
    +trap T_LINE_PRINT

+at $BF00
output_loop:
    +trap T_OUTPUT_CHAR
    jsr CHROUT
    jmp output_loop
+at $BF08
print_continue:
    +trap T_PRINT_CONTINUE
+at $BF0A
sys_return:
    +trap T_SYS_RETURN
+at $BF0C
reexecute:
    +trap T_REEXECUTE
+at $BF0E
input_wait:
    +trap T_INPUT_WAIT
+at $BF10
return_stub:
    rts
+at $BF12
error:                      ; X: error number
    +trap T_ERROR
+at $BF14
hang:
    jmp hang
+at $BF17
cold_init:
    +trap T_COLD_INIT
    rts

+at $C000
