; The C64 side of psid2prg.py. Assembling this file gives the BASIC line
; "10 SYS 2062" and the boot routine; the file psid2prg.py generates around
; it puts the tune data behind them (labels tune_data, tune_end) and then
; calls +driver for the mover and the resident driver.
;
; Symbols given by psid2prg.py:
;   LOAD, DATA_LEN        where the tune data belongs and how long it is
;   INIT, PLAY            the tune's routines; PLAY 0: the tune plays from
;                         interrupts it sets up itself
;   SONG                  song number from 0, handed to init in A, X and Y
;   TIMING                TIMING_RASTER or TIMING_CIA (the song's speed bit)
;   TIMER_PAL, TIMER_NTSC CIA 1 timer A latch on a PAL or an NTSC machine
;   INIT_BANK, PLAY_BANK  $01 for the init and play calls
;   IDLE_BANK             $01 between play calls; always shows the KERNAL,
;                         so interrupts come through its vector at $0314
;   RSID                  1: the tune expects the machine as BASIC leaves it
;   CLEAR_RAM             1: zero the RAM from $0800 up that the data does not
;                         fill, as the library's PSID machine has it
;   CLEAR_ZP              1: zero $02-$FF before init, likewise, but for the
;                         BASIC pointers that loading the data would set
;   STAGING, HOLD         where the mover runs and where the driver waits
;                         while the data moves: one of them low in the stack
;                         page, the other in the tape buffer at $0334
;   RESIDENT              where the driver stays: HOLD, or $0800 and above
;
; The tune may load anywhere from $0400 up, over this program too, so the
; boot routine prepares the machine and then puts the mover and the driver
; below $0400, where no tune loads; the mover moves the data into place,
; copying from the low end or the high end as the overlap requires, clears
; what is left of this program, and moves the driver to RESIDENT if that is
; not where it waits.

TIMING_RASTER = 0
TIMING_CIA = 1

src = $fb               ; copy pointers; BASIC and the KERNAL leave $fb-$fe alone
dst = $fd

* = $0801
        !word .line_end
        !word 10
        !byte $9e, $20
        !text "2062"
        !byte 0
.line_end:
        !word 0

!zone boot
boot:
!if boot != 2062 { !error "the SYS address in the BASIC line is not boot" }
        sei
        cld
        ldx #$ff
        txs
!if RSID {
        lda #SONG               ; where BASIC's SYS keeps A, X and Y
        sta $030c
        sta $030d
        sta $030e
} else {
        ; The machine a PSID tune expects: one interrupt source, chosen by
        ; the song's speed bit; interrupts stay off while init runs.
        lda #$7f
        sta $dc0d
        sta $dd0d
        lda $dc0d
        lda $dd0d
        lda #0
        sta $d01a
!if TIMING = TIMING_RASTER {
        sta $d012               ; line 0, once a frame
        lda $d011
        and #$7f
        sta $d011
        lda #1
        sta $d01a
} else {
        lda #$81
        sta $dc0d
}
!if PLAY != 0 {
        lda #<irq
        sta $0314
        lda #>irq
        sta $0315
}
}
        lda #$36                ; the images may lie under the BASIC ROM
        sta $01
        ldx #0
.mover: lda mover_image,x
        sta STAGING,x
        inx
        cpx #<MOVER_LEN
        bne .mover
        ldx #0
.driver:
        lda resident_image,x
        sta HOLD,x
        inx
        cpx #<RESIDENT_LEN
        bne .driver
        jmp STAGING

!macro driver {
mover_image:
!pseudopc STAGING {
!zone mover
        lda #$34                ; RAM everywhere: the data may belong under a ROM or the I/O area
        sta $01
!if LOAD < tune_data {
        ; The data moves down: copy from its low end.
        lda #<tune_data
        sta src
        lda #>tune_data
        sta src+1
        lda #<LOAD
        sta dst
        lda #>LOAD
        sta dst+1
        ldy #0
        ldx #>DATA_LEN
        beq .up_rest
.up_page:
        lda (src),y
        sta (dst),y
        iny
        bne .up_page
        inc src+1
        inc dst+1
        dex
        bne .up_page
.up_rest:
        ldx #<DATA_LEN
        beq .placed
.up_byte:
        lda (src),y
        sta (dst),y
        iny
        dex
        bne .up_byte
} else {
        ; The data moves up: copy from its high end, the last partial page first.
        lda #<tune_data
        sta src
        lda #>(tune_data + (DATA_LEN & $ff00))
        sta src+1
        lda #<LOAD
        sta dst
        lda #>(LOAD + (DATA_LEN & $ff00))
        sta dst+1
        ldy #<DATA_LEN
        beq .down_pages
.down_rest:
        dey
        lda (src),y
        sta (dst),y
        cpy #0
        bne .down_rest
.down_pages:
        ldx #>DATA_LEN
        beq .placed
.down_page:
        dec src+1
        dec dst+1
        ldy #$ff
.down_byte:
        lda (src),y
        sta (dst),y
        dey
        cpy #$ff
        bne .down_byte
        dex
        bne .down_page
}
.placed:

!if CLEAR_RAM {
!if LOAD > $0800 {
        lda #0
        ldx #>(LOAD - $0800)
        ldy #<(LOAD - $0800)
        sty src
        ldy #$08
        jsr .clear
}
!if LOAD + DATA_LEN < $10000 {
        lda #<(LOAD + DATA_LEN)
        ldx #>($10000 - (LOAD + DATA_LEN))
        ldy #<($10000 - (LOAD + DATA_LEN))
        sty src
        ldy #>(LOAD + DATA_LEN)
        jsr .clear
}
}
        lda #$37
        sta $01
!if RESIDENT != HOLD {
        ldx #0
.copy:  lda HOLD,x
        sta RESIDENT,x
        lda #0                  ; nothing of the driver left behind
        sta HOLD,x
        inx
        cpx #<RESIDENT_LEN
        bne .copy
}
        lda $02a6               ; the machine's clock, as the KERNAL found it
        beq .ntsc
        lda #<TIMER_PAL
        ldx #>TIMER_PAL
        bne .clock
.ntsc:  lda #<TIMER_NTSC
        ldx #>TIMER_NTSC
.clock: sta timer_latch
        stx timer_latch+1
!if CLEAR_ZP {
        lda #0
        ldx #2
.zero:  sta $00,x
        inx
        bne .zero
        ; BASIC's pointers as loading the tune's data would have left them
        lda #$01
        sta $2b
        lda #$08
        sta $2c
        sta $7b
        lda #<(LOAD + DATA_LEN)
        sta $2d
        sta $2f
        sta $31
        sta $ae
        lda #>(LOAD + DATA_LEN)
        sta $2e
        sta $30
        sta $32
        sta $af
}
        jmp RESIDENT

!if CLEAR_RAM {
; Zeroes X pages and then src bytes from Y * 256 + A.
.clear: sta dst
        sty dst+1
        lda #0
        tay
        cpx #0
        beq .clear_rest
.clear_page:
        sta (dst),y
        iny
        bne .clear_page
        inc dst+1
        dex
        bne .clear_page
.clear_rest:
        ldx src
        beq .cleared
.clear_byte:
        sta (dst),y
        iny
        dex
        bne .clear_byte
.cleared:
        rts
}
}
mover_end:

resident_image:
!pseudopc RESIDENT {
!zone resident
        ldx #0                  ; nothing of the mover left behind
        txa
.wipe:  sta STAGING,x
        inx
        cpx #<MOVER_LEN
        bne .wipe
        ; Init and the first play call come where the library's player has
        ; them: init from the start of raster line 55 with nothing pending,
        ; 8192 cycles left on CIA 1 timer A (the lines up to the call take
        ; 41) and all flags clear but I; for a raster song, after init
        ; raster line 55 again, an interrupt that came during init still due.
!if RSID {
        lda #$00                ; as after RUN: the KERNAL's timer interrupt runs during init
} else {
        lda #$04
}
        pha
        lda #54
        jsr .raster
        lda $dc0d
        lda #$ff
        sta $d019
        lda #<(8192 + 41)
        sta $dc04
        lda #>(8192 + 41)
        sta $dc05
        lda #$11
        sta $dc0e
        lda timer_latch         ; the period from the first underflow on
        sta $dc04
        lda timer_latch+1
        sta $dc05
        lda #INIT_BANK
        sta $01
        lda #SONG
        ldx #SONG
        ldy #SONG
        plp
        jsr INIT
!if RSID = 0 {
        php                     ; play starts with the flags the last call left
        sei
        pla
        sta .flags
        lda #IDLE_BANK
        sta $01
!if PLAY != 0 {
        jsr .own                ; init may have put the KERNAL's vectors back
}
!if TIMING = TIMING_RASTER {
        lda $d019
        pha
        lda #55
        jsr .raster
        pla
        lsr
        bcs .due
        lda #$ff
        sta $d019
.due:
}
        cli
}
.idle:  jmp .idle

!if PLAY != 0 {
; Entered from the KERNAL's interrupt entry, A, X and Y saved; leaves
; through its exit.
irq:
!if TIMING = TIMING_RASTER {
        lda $dc0d
        lda $d019
        sta $d019
} else {
        lda #$ff
        sta $d019
        lda $dc0d
}
        lsr
        bcc .other
        lda #PLAY_BANK
        sta $01
        lda .flags
        ora #$04                ; no interrupt while play runs
        pha
        lda #0
        tax
        tay
        plp
        jsr PLAY
        php
        pla
        sta .flags
        lda #IDLE_BANK
        sta $01
.other: jsr .own
        jmp $ea81

; As in the library's PSID machine, the song's interrupt source stays the
; only one and the vector stays, whatever init and play write.
.own:
!if TIMING = TIMING_RASTER {
        lda #$7f
        sta $dc0d
        lda #$01
} else {
        lda #0
}
        sta $d01a
        lda #<irq
        sta $0314
        lda #>irq
        sta $0315
        rts
}

timer_latch:
        !word 0
.flags: !byte 0

; Waits for the raster line in A (below 256).
.raster:
        bit $d011
        bmi .raster
        cmp $d012
        bne .raster
        rts
}
resident_end:

MOVER_LEN = mover_end - mover_image
RESIDENT_LEN = resident_end - resident_image
}
