; Lantern Quest, an RSID tune at $4000: init ($4000) installs its own raster
; interrupt, which plays at 50 Hz; the header has no play address.
; E minor, Em C G D; 16 bars, 25.6 s.
!source "notes.asm"
PLAYER_CLOCK = 985248.0

RASTER_LINE = $33       ; above the screen; any line below 256 works

* = $4000
        jmp install
!source "player.asm"

!zone install
; A = song. Stops the KERNAL's timer interrupt, so that the raster drives
; the tune alone, and keeps the KERNAL's duties by leaving through $EA31.
install:
        sei
        pha
        lda #$7f
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
        pla
        jsr init
        cli
        rts

.irq:   lda #$01
        sta $d019
        jsr play
        jmp $ea31

!zone lantern_quest_data
song_speed:     !byte 10
song_orders_lo: !byte <.bass_order, <.chord_order, <.melody_order
song_orders_hi: !byte >.bass_order, >.chord_order, >.melody_order

; patterns 0-2: bass and chords; 3-11: melody
pattern_lo:
        !byte <.bass, <.major, <.minor
        !byte <.q1, <.q2, <.q3, <.q4, <.q5, <.q6, <.q7, <.q8, <.q9
pattern_hi:
        !byte >.bass, >.major, >.minor
        !byte >.q1, >.q2, >.q3, >.q4, >.q5, >.q6, >.q7, >.q8, >.q9

instruments:
        !byte $10, $0a, $a8, $00, $00, $00, 3, 0        ; 0 bass, triangle
        !byte $40, $05, $00, $00, $04, $00, 1, 0        ; 1 plucked pulse
        !byte $20, $3a, $b8, $00, $00, $00, 4, 0        ; 2 lead, sawtooth

.bass_order:   !byte T0+4, 0, T0, 0, T0+7, 0, T0+2, 0, LOOP, 0
.chord_order:  !byte T0+4, 2, T0, 1, T0+7, 1, T0+2, 1, LOOP, 0
.melody_order: !byte T0, 3, 4, 5, 6, 7, 8, 9, 10, 7, 8, 9, 10, 3, 4, 5, 11, LOOP, 0

.bass:  !byte INS+0, C_+O2,3, C_+O2,1, G_+O2,2, C_+O3,2, END
.major: !byte INS+1, C_+O4,1, G_+O4,1, E_+O4,1, G_+O4,1, C_+O5,1, G_+O4,1, E_+O4,1, G_+O4,1, END
.minor: !byte INS+1, C_+O4,1, G_+O4,1, Ds+O4,1, G_+O4,1, C_+O5,1, G_+O4,1, Ds+O4,1, G_+O4,1, END

.q1: !byte INS+2, E_+O5,2, G_+O5,2, B_+O5,2, G_+O5,2, END
.q2: !byte E_+O5,2, C_+O5,2, G_+O4,4, END
.q3: !byte D_+O5,2, G_+O5,2, B_+O5,2, D_+O6,2, END
.q4: !byte Fs+O5,4, D_+O5,2, A_+O4,2, END
.q5: !byte B_+O4,2, E_+O5,2, Fs+O5,2, G_+O5,2, END
.q6: !byte A_+O5,2, G_+O5,2, E_+O5,4, END
.q7: !byte D_+O5,2, B_+O4,2, G_+O4,2, B_+O4,2, END
.q8: !byte A_+O4,4, D_+O5,2, REST,2, END
.q9: !byte A_+O4,2, Fs+O4,2, D_+O4,2, REST,2, END
