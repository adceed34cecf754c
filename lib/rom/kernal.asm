; Our own C64 KERNAL: the entry points tunes and their drivers use, at the
; addresses C64 software expects them, written from the public memory map.
; Assemble with: acme -o kernal.bin kernal.asm   (8,192 bytes, $E000-$FFFF)
;
; Unused space holds RTS, so that a stray JSR into it simply returns.

!cpu 6502
* = $E000

!macro at .addr {
    !if * > .addr { !error "code overlaps the fixed entry point ", .addr, " at ", * }
    !fill .addr - *, $60
}

; zero page and work area
CURSOR_COL  = $D3
CURSOR_ROW  = $D6
LINE_PTR    = $D1
COLOR_PTR   = $F3
KEY_COUNT   = $C6
KEY_LAST    = $C5
KEY_NOW     = $CB
KEY_BUFFER  = $0277
TEXT_COLOR  = $0286
JIFFY_HI    = $A0
JIFFY_MID   = $A1
JIFFY_LO    = $A2
CHAR_TEMP   = $D7
REVERSE     = $C7
QUOTE_MODE  = $D4
INSERTS     = $D8
STOP_ROW    = $91
TAPE_LOCK   = $C0
BLINK_OFF   = $CC
BLINK_COUNT = $CD
BLINK_CHAR  = $CE
BLINK_PHASE = $CF
BLINK_COLOR = $0287

; ---- BASIC's RND and start-up, kept in the KERNAL half as on the C64 --------------

+at $E097
basic_rnd:                  ; RND works in the BASIC ROM's math package
    jmp $BF1A

+at $E37B
basic_warm:                 ; warm start (RUN/STOP-RESTORE, BRK): READY, program kept
    jsr $FFCC
    lda #$00
    sta $13
    ldx #$FA
    txs
    cli
    jmp $A474
+at $E38B
basic_error:                ; the $0300 vector's default: X holds the error number
    jmp $BF12
+at $E394
basic_cold:
    jsr $E453
    jsr $E3BF
    jsr $E422
    ldx #$FB
    txs
    cli
    jmp $A474
+at $E3BF
basic_init:                 ; CHRGET into the zero page, RND seed, empty program
    ldx #chrget_end - chrget_code - 1
-   lda chrget_code,x
    sta $73,x
    dex
    bpl -
    ldx #4
-   lda rnd_seed,x
    sta $8B,x
    dex
    bpl -
    lda #$4C                ; USR: JMP to ?ILLEGAL QUANTITY until a program sets it
    sta $0310
    lda #<$B248
    sta $0311
    lda #>$B248
    sta $0312
    jsr $BF17
    rts
chrget_code:                ; next program byte: C clear for a digit, Z set for ":" or end
    inc $7A
    bne +
    inc $7B
+   lda $EA60
    cmp #$3A
    bcs ++
    cmp #$20
    beq chrget_code         ; relative: still right once copied
    sec
    sbc #$30
    sec
    sbc #$D0
++  rts
chrget_end:
rnd_seed:
    !byte $80, $4F, $C7, $52, $58
+at $E422
basic_banner:
    lda #<banner
    ldy #>banner
    jmp $AB1E
+at $E453
basic_vectors:              ; $0300-$030B: error, main loop, and the interpreter's hooks
    ldx #11
-   lda basic_vector_table,x
    sta $0300,x
    dex
    bpl -
    rts
basic_vector_table:
    !word $E38B, $A483, $A57C, $A71A, $A7E4, $AE86
banner:
    !byte $93, $0D
    !text "    **** COMMODORE 64 BASIC V2 ****", $0D, $0D
    !text " 64K RAM SYSTEM  38911 BASIC BYTES FREE", $0D, $00

; ---- screen editor ------------------------------------------------------------

+at $E500
iobase:                     ; IOBASE: the CIA 1 base address
    ldx #$00
    ldy #$DC
    rts
screen:                     ; SCREEN: 40 columns, 25 rows
    ldx #40
    ldy #25
    rts
plot:                       ; PLOT: C set reads the cursor, C clear sets it
    bcs +
    stx CURSOR_ROW
    sty CURSOR_COL
    jsr set_line
+   ldx CURSOR_ROW
    ldy CURSOR_COL
    rts

+at $E544
    jmp clear_screen_body   ; clear the screen, then home

+at $E566
home:
    ldx #0
    stx CURSOR_COL
    stx CURSOR_ROW
set_line:                   ; $E56C: line pointers from the cursor row
    lda #$00
    sta LINE_PTR
    lda $0288               ; the screen's page
    sta LINE_PTR + 1
    ldx CURSOR_ROW
    beq +
-   lda LINE_PTR
    clc
    adc #40
    sta LINE_PTR
    bcc ++
    inc LINE_PTR + 1
++  dex
    bne -
+   lda LINE_PTR
    sta COLOR_PTR
    lda LINE_PTR + 1
    and #$03
    ora #$D8
    sta COLOR_PTR + 1
    rts

+at $E5A0
vic_init:                   ; VIC registers as after power-on; no key held
    lda #$1B
    sta $D011
    lda #$C8
    sta $D016
    lda #$14
    sta $D018
    lda #$0E
    sta $D020
    lda #$06
    sta $D021
    lda #$40
    sta KEY_LAST
    sta KEY_NOW
    rts

+at $E600
clear_screen_body:
    lda #$20
    ldx #0
-   sta $0400,x
    sta $0500,x
    sta $0600,x
    sta $06E8,x
    inx
    bne -
    lda TEXT_COLOR
-   sta $D800,x
    sta $D900,x
    sta $DA00,x
    sta $DAE8,x
    inx
    bne -
    jmp home

scroll_up:                  ; the screen moves up a line, the last line clears
    ldx #0
-   lda $0428,x
    sta $0400,x
    lda $0528,x
    sta $0500,x
    lda $0628,x
    sta $0600,x
    inx
    bne -
-   lda $0728,x
    sta $0700,x
    inx
    cpx #$C0
    bne -
    lda #$20
    ldx #39
-   sta $07C0,x
    dex
    bpl -
    lda #24
    sta CURSOR_ROW
    rts

+at $E716
print:                      ; print the character in A at the cursor, as the screen editor does
    sta CHAR_TEMP
    pha
    txa
    pha
    tya
    pha
    lda CHAR_TEMP
    cmp #$0D
    beq .return
    cmp #$8D
    beq .return
    jsr petscii_to_screen
    bcc .put
    ldx QUOTE_MODE          ; a control code: acted on, or shown reversed in quotes
    bne .shown
    ldx INSERTS
    bne .shown
    jsr control
    jmp .done
.shown:
    lda CHAR_TEMP
    cmp #$14                ; DEL deletes even in quotes
    bne +
    jsr control
    jmp .done
+   cmp #$80
    bcc +
    adc #$3F                ; $80-$9F show as $C0-$DF (C is set)
    jmp .put
+   ora #$80                ; $00-$1F show as $80-$9F
.put:
    ldx REVERSE
    beq +
    ora #$80
+   ldy CURSOR_COL
    sta (LINE_PTR),y
    lda TEXT_COLOR
    sta (COLOR_PTR),y
    lda CHAR_TEMP
    cmp #$22
    bne +
    lda QUOTE_MODE
    eor #$01
    sta QUOTE_MODE
+   lda INSERTS
    beq +
    dec INSERTS
+   jsr cursor_right
    jmp .done
.return:
    lda #0
    sta CURSOR_COL
    sta REVERSE
    sta QUOTE_MODE
    sta INSERTS
    jsr cursor_down
.done:
    pla
    tay
    pla
    tax
    pla
    clc
    rts

cursor_right:
    inc CURSOR_COL
    lda CURSOR_COL
    cmp #40
    bcc +
    lda #0
    sta CURSOR_COL
    jmp cursor_down
+   rts
cursor_down:
    inc CURSOR_ROW
    lda CURSOR_ROW
    cmp #25
    bcc +
    jsr scroll_up
+   jmp set_line

; The control code in CHAR_TEMP: cursor, colour, reverse and character set.
control:
    lda CHAR_TEMP
    ldx #color_codes_end - color_codes - 1
-   cmp color_codes,x
    bne +
    lda color_values,x
    sta TEXT_COLOR
    rts
+   dex
    bpl -
    cmp #$13
    bne +
    jmp home
+   cmp #$93
    bne +
    jmp clear_screen_body
+   cmp #$12
    bne +
    sta REVERSE
    rts
+   cmp #$92
    bne +
    lda #0
    sta REVERSE
    rts
+   cmp #$1D
    bne +
    jmp cursor_right
+   cmp #$11
    bne +
    jmp cursor_down
+   cmp #$9D
    bne ++
    lda CURSOR_COL          ; left, back over the start of a row
    beq +
    dec CURSOR_COL
    rts
+   lda CURSOR_ROW
    beq +
    lda #39
    sta CURSOR_COL
    dec CURSOR_ROW
    jmp set_line
+   rts
++  cmp #$91
    bne +
    lda CURSOR_ROW
    beq ++
    dec CURSOR_ROW
    jmp set_line
+   cmp #$14
    bne +
    ldy CURSOR_COL          ; DEL: the rest of the row moves left over the cursor
    beq ++
    dey
    sty CURSOR_COL
-   iny
    cpy #40
    beq .del_end
    lda (LINE_PTR),y
    dey
    sta (LINE_PTR),y
    iny
    bne -
.del_end:
    lda #$20
    dey
    sta (LINE_PTR),y
++  rts
+   cmp #$94
    bne +
    ldy #39                 ; INST: the row moves right, a space at the cursor
    lda (LINE_PTR),y
    cmp #$20
    bne ++
-   cpy CURSOR_COL
    beq ++++
    dey
    lda (LINE_PTR),y
    iny
    sta (LINE_PTR),y
    dey
    bne -
++++
    lda #$20
    sta (LINE_PTR),y
    inc INSERTS
++  rts
+   cmp #$0E
    bne +
    lda $D018
    ora #$02
    sta $D018
    rts
+   cmp #$8E
    bne +
    lda $D018
    and #$FD
    sta $D018
    rts
+   cmp #$08
    bne +
    lda #$80
    sta $0291
    rts
+   cmp #$09
    bne +
    lda #$00
    sta $0291
+   rts
color_codes:
    !byte $90, $05, $1C, $9F, $9C, $1E, $1F, $9E, $81, $95, $96, $97, $98, $99, $9A, $9B
color_codes_end:
color_values:
    !byte 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15

; PETSCII in A to a screen code in A; C set for control codes.
petscii_to_screen:
    cmp #$20
    bcc .control
    cmp #$40
    bcc .same
    cmp #$60
    bcc .minus40
    cmp #$80
    bcc .minus20
    cmp #$A0
    bcc .control
    cmp #$C0
    bcc .minus40
    cmp #$FF
    beq .pi
    sec
    sbc #$80
    clc
    rts
.minus40:
    sec
    sbc #$40
    clc
    rts
.minus20:
    sec
    sbc #$20
.same:
    clc
    rts
.pi:
    lda #$5E
    clc
    rts
.control:
    sec
    rts

getin_body:                 ; GETIN: next key from the buffer, 0 when empty
    lda KEY_COUNT
    beq +
    php
    sei
    lda KEY_BUFFER
    pha
    ldx #0
-   lda KEY_BUFFER + 1,x
    sta KEY_BUFFER,x
    inx
    cpx KEY_COUNT
    bne -
    dec KEY_COUNT
    pla
    plp
+   clc
    rts

; ---- the standard IRQ handler -----------------------------------------------------

+at $EA31
irq_handler:
    jsr $FFEA               ; UDTIM: the jiffy clock and the STOP key
    lda BLINK_OFF           ; $EA34: tunes that keep their own clock enter here
    bne .tape
    dec BLINK_COUNT
    bne .tape
    ; every twentieth jiffy the cell under the cursor flips between its own
    ; character and colour and the reversed character in the text colour
    lda #20
    sta BLINK_COUNT
    ldy CURSOR_COL
    lsr BLINK_PHASE         ; carry: the cursor was showing
    ldx BLINK_COLOR
    lda (LINE_PTR),y
    bcs .flip
    inc BLINK_PHASE
    sta BLINK_CHAR
    lda (COLOR_PTR),y
    sta BLINK_COLOR
    ldx TEXT_COLOR
    lda BLINK_CHAR
.flip:
    eor #$80
    sta (LINE_PTR),y
    txa
    sta (COLOR_PTR),y
    !fill $EA61 - *, $EA
; The entries below sit where tunes jump in to skip the earlier duties.
+at $EA61
.tape:                      ; the tape motor runs only while a button is held,
    lda $01                 ; unless a tape routine has taken it over
    and #$10
    beq .button_down
    ldy #0
    sty TAPE_LOCK
    lda $01
    ora #$20
    bne .motor
+at $EA71
.button_down:
    lda TAPE_LOCK
    bne .scan
    lda $01
    and #$1F
+at $EA79
.motor:
    sta $01
+at $EA7B
.scan:
    jsr scnkey
+at $EA7E
    lda $DC0D               ; acknowledge CIA 1
+at $EA81
    pla
    tay
    pla
    tax
    pla
    rti

; SCNKEY: one key of the 8x8 matrix (row by $DC00, column by $DC01) into the
; buffer; a held key is taken once.
+at $EA87
scnkey:
    lda #$00
    sta $DC00
    lda $DC01
    cmp #$FF
    beq .none
    ldx #0
    ldy #$FE
.row:
    sty $DC00
    lda $DC01
    eor #$FF
    bne .column
    txa
    clc
    adc #8
    tax
    tya
    sec
    rol
    tay
    cpx #64
    bne .row
.none:                      ; as long as the genuine routine takes with no key down:
    !fill 9, $EA            ; samples played beside the interrupt depend on it
    ldx #64
    bne .store
.column:
    lsr
    bcs .store
    inx
    bne .column
.store:
    lda #$7F
    sta $DC00
    cpx KEY_LAST
    beq .held
    stx KEY_LAST
    cpx #64
    beq .held
    lda keymap,x
    beq .held               ; shift keys give no character
    ldy KEY_COUNT
    cpy #10
    bcs .held
    sta KEY_BUFFER,y
    inc KEY_COUNT
.held:
    stx KEY_NOW
    rts

keymap:                     ; PETSCII by matrix position, row 0 first
    !byte $14, $0D, $1D, $88, $85, $86, $87, $11
    !byte '3', 'W', 'A', '4', 'Z', 'S', 'E', $00
    !byte '5', 'R', 'D', '6', 'C', 'F', 'T', 'X'
    !byte '7', 'Y', 'G', '8', 'B', 'H', 'U', 'V'
    !byte '9', 'I', 'J', '0', 'M', 'K', 'O', 'N'
    !byte '+', 'P', 'L', '-', '.', ':', '@', ','
    !byte $5C, '*', ';', $13, $00, '=', $5E, '/'
    !byte '1', $5F, $00, '2', ' ', $00, 'Q', $03

; ---- I/O through the vectors ----------------------------------------------------

+at $F13E
getin:
    jmp getin_body

+at $F157
chrin:                      ; CHRIN: an empty line
    lda #$0D
    clc
    rts

+at $F1CA
chrout:                     ; CHROUT: to the screen
    jmp print

+at $F20E
chkin:
    jmp not_present
+at $F250
chkout:
    jmp not_present
+at $F291
close:
    clc
    rts
+at $F32F
clall:
    lda #0
    sta $98
+at $F333
clrchn:                     ; input keyboard, output screen
    lda #$00
    sta $99
    lda #$03
    sta $9A
    rts
+at $F34A
open:
    jmp not_present
not_present:                ; no drive or printer: error 5, device not present
    lda #$05
    sec
    rts
serial_quiet:               ; nothing on the serial bus: status "device not present"
    lda #$80
    sta $90
    rts

+at $F49E
load_entry:
    stx $C3
    sty $C4
    jmp ($0330)
+at $F4A5
load:
    jmp not_present

+at $F5DD
save_entry:
    jmp ($0332)
+at $F5ED
save:
    jmp not_present

+at $F69B
udtim:                      ; UDTIM: a sixtieth of a second, wrapping after 24 hours
    inc JIFFY_LO
    bne +
    inc JIFFY_MID
    bne +
    inc JIFFY_HI
+   lda JIFFY_HI
    cmp #$4F
    bcc +
    lda JIFFY_MID
    cmp #$1A
    bcc +
    lda JIFFY_LO
    cmp #$01
    bcc +
    lda #0
    sta JIFFY_HI
    sta JIFFY_MID
    sta JIFFY_LO
+   lda $DC01               ; the STOP key's row, where SCNKEY leaves $DC00,
    cmp $DC01               ; kept only when two reads agree
    bne +
    sta STOP_ROW
    bit $EA                 ; as long as the genuine routine takes (interleaved
    !fill 8, $EA            ; sample players depend on it)
+   rts

+at $F6DD
rdtim:
    lda JIFFY_LO
    ldx JIFFY_MID
    ldy JIFFY_HI
    rts
+at $F6E4
settim:                     ; SETTIM: as the C64's, it leaves IRQs enabled
    sei
    sta JIFFY_LO
    stx JIFFY_MID
    sty JIFFY_HI
    cli
    rts
+at $F6ED
stop:                       ; STOP: Z set while the key is down, as UDTIM last saw it
    lda STOP_ROW
    cmp #$7F
    bne +
    php
    jsr $FFCC               ; a stopped program's channels and typed keys go
    lda #0
    sta KEY_COUNT
    plp
+   rts

; ---- reset and initialisation ---------------------------------------------------

+at $FCE2
reset:
    ldx #$FF
    sei
    txs
    cld
    jsr $FDA3
    jsr $FD50
    jsr $FD15
    jsr $FF5B
    cli
    jmp ($A000)

+at $FD15
restor:
    ldx #<vector_table
    ldy #>vector_table
    clc
+at $FD1A
vector:                     ; VECTOR: C clear installs the table at X/Y, C set copies out
    stx $C3
    sty $C4
    ldy #$1F
-   lda $0314,y
    bcs +
    lda ($C3),y
+   sta ($C3),y
    sta $0314,y
    dey
    bpl -
    rts

+at $FD30
vector_table:
    !word $EA31, $FE66, $FE47, $F34A, $F291, $F20E, $F250, $F333
    !word $F157, $F1CA, $F6ED, $F13E, $F32F, $FE66, $F4A5, $F5ED

+at $FD50
ramtas:                     ; RAMTAS: clear the work areas, set the memory bounds
    lda $02A6               ; the video standard survives the clear
    pha
    lda #$00
    tay
-   sta $0002,y
    sta $0200,y
    sta $0300,y
    iny
    bne -
    pla
    sta $02A6
    lda #$3C
    sta $B2
    lda #$03
    sta $B3
    lda #$00
    sta $0281
    lda #$08
    sta $0282
    lda #$00
    sta $0283
    lda #$A0
    sta $0284
    lda #$04
    sta $0288
    rts

+at $FDA3
ioinit:                     ; IOINIT: CIAs quiet, ports set, port $01 as after reset
    lda #$7F
    sta $DC0D
    sta $DD0D
    sta $DC00
    lda #$08
    sta $DC0E
    sta $DD0E
    sta $DC0F
    sta $DD0F
    ldx #$00
    stx $DC03
    stx $DD03
    stx $D418
    dex
    stx $DC02
    lda #$07
    sta $DD00
    lda #$3F
    sta $DD02
    lda #$E7
    sta $01
    lda #$2F
    sta $00
+at $FDDD
set_timer:                  ; CIA 1 timer A for a 60 Hz IRQ on either video standard
    lda $02A6
    beq +
    ldx #$25
    ldy #$40
    bne ++
+   ldx #$95
    ldy #$42
++  stx $DC04
    sty $DC05
    jmp start_timer

+at $FDF9
setnam:
    sta $B7
    stx $BB
    sty $BC
    rts
+at $FE00
setlfs:
    sta $B8
    stx $BA
    sty $B9
    rts
+at $FE07
readst:
    lda $90
    rts
+at $FE18
setmsg:
    sta $9D
    lda $90
    rts
+at $FE21
settmo:
    sta $0285
    rts
+at $FE25
memtop:                     ; MEMTOP: C set reads, C clear sets (read then store)
    bcc +
    ldx $0283
    ldy $0284
+   stx $0283
    sty $0284
    rts
+at $FE34
membot:
    bcc +
    ldx $0281
    ldy $0282
+   stx $0281
    sty $0282
    rts

; ---- NMI and BRK -------------------------------------------------------------------

+at $FE43
nmi:
    sei
    jmp ($0318)
+at $FE47
nmi_handler:                ; acknowledge CIA 2 so that later NMIs can come
    pha
    txa
    pha
    tya
    pha
    lda #$7F
    sta $DD0D
    ldy $DD0D
    jmp $FEBC
+at $FE66
brk_handler:                ; BRK: restore the vectors and I/O, then BASIC's warm start
    jsr $FD15
    jsr $FDA3
    jsr $FF5B
    jmp ($A002)
+at $FEBC
    pla
    tay
    pla
    tax
    pla
    rti

; ---- IRQ entry, CINT, jump table, vectors ---------------------------------------------

+at $FF48
irq:                        ; tell BRK from IRQ by the B bit of the pushed status
    pha
    txa
    pha
    tya
    pha
    tsx
    lda $0104,x
    and #$10
    beq +
    jmp ($0316)
+   jmp ($0314)

+at $FF5B
cint:
    jsr $E5A0
    lda #$0E
    sta TEXT_COLOR
    jsr $E544
    lda #$04
    sta $0288
    rts
+at $FF6E
start_timer:
    lda #$81
    sta $DC0D
    lda $DC0E
    and #$80
    ora #$11
    sta $DC0E
    rts

+at $FF81
    jmp $FF5B               ; CINT
    jmp $FDA3               ; IOINIT
    jmp $FD50               ; RAMTAS
    jmp $FD15               ; RESTOR
    jmp $FD1A               ; VECTOR
    jmp $FE18               ; SETMSG
    jmp serial_quiet        ; SECOND
    jmp serial_quiet        ; TKSA
    jmp $FE25               ; MEMTOP
    jmp $FE34               ; MEMBOT
    jmp $EA87               ; SCNKEY
    jmp $FE21               ; SETTMO
    jmp serial_quiet        ; ACPTR
    jmp serial_quiet        ; CIOUT
    jmp serial_quiet        ; UNTLK
    jmp serial_quiet        ; UNLSN
    jmp serial_quiet        ; LISTEN
    jmp serial_quiet        ; TALK
    jmp $FE07               ; READST
    jmp $FE00               ; SETLFS
    jmp $FDF9               ; SETNAM
    jmp ($031A)             ; OPEN
    jmp ($031C)             ; CLOSE
    jmp ($031E)             ; CHKIN
    jmp ($0320)             ; CHKOUT
    jmp ($0322)             ; CLRCHN
    jmp ($0324)             ; CHRIN
    jmp ($0326)             ; CHROUT
    jmp $F49E               ; LOAD
    jmp $F5DD               ; SAVE
    jmp $F6E4               ; SETTIM
    jmp $F6DD               ; RDTIM
    jmp ($0328)             ; STOP
    jmp ($032A)             ; GETIN
    jmp ($032C)             ; CLALL
    jmp $F69B               ; UDTIM
    jmp $E505               ; SCREEN
    jmp $E50A               ; PLOT
    jmp $E500               ; IOBASE

+at $FFFA
    !word nmi, reset, irq
