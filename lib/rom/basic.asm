; Our own C64 BASIC ROM ($A000-$BFFF). The interpreter runs natively behind
; traps: the byte $02 followed by a trap number (T_* below); the
; machine calls the interpreter when it fetches such a pair from this ROM.
; make_tables.py writes the trap numbers and the labelled entry points the
; interpreter jumps to into lib/basic/BasicRomLayout.h.
; What must run as 6502 code stays here: the vectors, the READY loop through
; $0302, the output loop through CHROUT, string output at $AB1E, the error
; entry through $0300.
; The floating point routines that machine code calls (compiled programs, SYS
; and USR routines) sit at the C64's addresses, each a trap into the math
; package (lib/basic/MathPackage.h); RND's entry lies in the KERNAL half
; ($E097), which jumps to its trap here.
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
T_AYINT_AY       = 15
T_AYINT          = 16
T_GIVAYF         = 17
T_GIVAYF_NO_TYPE = 18
T_FLOAT_Y        = 19
T_GETADR         = 20
T_FSUB           = 21
T_FSUBT          = 22
T_FADD           = 23
T_FADDT          = 24
T_FMULT          = 25
T_FMULTT         = 26
T_CONUPK         = 27
T_MUL10          = 28
T_DIV10          = 29
T_FDIV           = 30
T_FDIVT          = 31
T_MOVFM          = 32
T_MOVMF_5C       = 33
T_MOVMF_57       = 34
T_MOVMF_INDEX    = 35
T_MOVMF          = 36
T_MOVFA          = 37
T_MOVAF          = 38
T_ROUND          = 39
T_SIGN           = 40
T_SGN            = 41
T_FLOAT          = 42
T_ABS            = 43
T_FCOMP          = 44
T_QINT           = 45
T_INT            = 46
T_FIN            = 47
T_NEGOP          = 48
T_RND            = 49
T_FRMNUM         = 50
T_USR_RETURN     = 51

CHROUT = $FFD2
CHRIN  = $FFCF
INDEX  = $22

    !word $E394             ; cold start
    !word $E37B             ; warm start
    !text "CBMBASIC"

+at $A437
error_entry:                ; X: error number; the vector leads to the message
    jmp ($0300)

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

+at $AD8A
frmnum:                     ; evaluate the formula at TXTPTR into FAC, numeric
    +trap T_FRMNUM

+at $B1AA
ayint_ay:                   ; FAC to a signed integer: A high, Y low
    +trap T_AYINT_AY
+at $B1BF
ayint:                      ; FAC to a signed integer in $64/$65
    +trap T_AYINT
+at $B248
illegal_quantity:
    ldx #14
    jmp error_entry
+at $B391
givayf:                     ; A (high) / Y (low), signed, to FAC
    +trap T_GIVAYF
+at $B395
givayf_no_type:
    +trap T_GIVAYF_NO_TYPE
+at $B3A2
float_y:                    ; Y, unsigned, to FAC
    +trap T_FLOAT_Y
+at $B7F7
getadr:                     ; FAC to an address in $14/$15
    +trap T_GETADR
+at $B850
fsub:                       ; FAC := memory at A/Y minus FAC
    +trap T_FSUB
+at $B853
fsubt:                      ; FAC := ARG - FAC
    +trap T_FSUBT
+at $B867
fadd:                       ; FAC := memory at A/Y plus FAC
    +trap T_FADD
+at $B86A
faddt:                      ; FAC := ARG + FAC
    +trap T_FADDT
+at $BA28
fmult:                      ; FAC := memory at A/Y times FAC
    +trap T_FMULT
+at $BA2B
fmultt:                     ; FAC := ARG * FAC
    +trap T_FMULTT
+at $BA8C
conupk:                     ; ARG from memory at A/Y
    +trap T_CONUPK
+at $BAE2
mul10:
    +trap T_MUL10
+at $BAFE
div10:
    +trap T_DIV10
+at $BB0F
fdiv:                       ; FAC := memory at A/Y divided by FAC
    +trap T_FDIV
+at $BB12
fdivt:                      ; FAC := ARG / FAC
    +trap T_FDIVT
+at $BBA2
movfm:                      ; FAC from memory at A/Y
    +trap T_MOVFM
+at $BBC7
movmf_5c:                   ; FAC to $5C-$60
    +trap T_MOVMF_5C
+at $BBCA
movmf_57:                   ; FAC to $57-$5B
    +trap T_MOVMF_57
+at $BBD0
movmf_index:                ; FAC to memory at ($49)
    +trap T_MOVMF_INDEX
+at $BBD4
movmf:                      ; FAC to memory at X/Y
    +trap T_MOVMF
+at $BBFC
movfa:                      ; FAC := ARG
    +trap T_MOVFA
+at $BC0C
movaf:                      ; ARG := FAC, rounded
    +trap T_MOVAF
+at $BC1B
round:
    +trap T_ROUND
+at $BC2B
sign:                       ; A: 0, 1 or $FF
    +trap T_SIGN
+at $BC39
sgn:
    +trap T_SGN
+at $BC3C
float:                      ; A, signed, to FAC
    +trap T_FLOAT
+at $BC58
abs:
    +trap T_ABS
+at $BC5B
fcomp:                      ; compare FAC with memory at A/Y
    +trap T_FCOMP
+at $BC9B
qint:                       ; FAC to a 32-bit integer in $62-$65
    +trap T_QINT
+at $BCCC
int:
    +trap T_INT
+at $BCF3
fin:                        ; the number at TXTPTR to FAC
    +trap T_FIN

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
+at $BF1A
rnd:                        ; kernal.asm's $E097 jumps here
    +trap T_RND
+at $BF1C
usr_return:                 ; a USR routine returns here with its result in FAC
    +trap T_USR_RETURN

+at $BFB4
negop:                      ; FAC := -FAC
    +trap T_NEGOP

+at $C000
