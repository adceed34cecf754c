; Harbour Lights as a program rip: a BASIC line "10 SYS 2062" that starts the
; tune from a raster interrupt of its own and returns to BASIC, the music
; going on under the READY prompt. Plays the same song data as the PSID
; build, so both drive the SID identically.
!source "notes.asm"
PLAYER_CLOCK = 985248.0

RASTER_LINE = $fa       ; below the text window; 50 times a second like the PSID's driver

* = $0801
        !word .line_end         ; link to the next line
        !word 10                ; line number
        !byte $9e, $20          ; SYS token, blank
        !text "2062"
        !byte 0
.line_end:
        !word 0                 ; end of program

!zone start
start:
!if start != 2062 { !error "the SYS address in the BASIC line is not start" }
        sei
        lda #$7f                ; the raster alone drives the tune
        sta $dc0d
        lda $dc0d
        lda #<.irq
        sta $0314
        lda #>.irq
        sta $0315
        lda #RASTER_LINE
        sta $d012
        lda $d011
        and #$7f
        sta $d011
        lda #$01
        sta $d01a
        sta $d019
        lda #0
        jsr init
        cli
        rts

; Leaves through $EA31 so that the clock and the keyboard keep working at
; the prompt.
.irq:   lda #$01
        sta $d019
        jsr play
        jmp $ea31

!source "player.asm"
!source "harbour_lights_data.asm"
