; Square Dance, an NTSC PSID tune at $E000 (init $E000, play $E003, 60 Hz
; vertical blank): a reel in D major, D D G A / D D A D, sixteenth-note ticks;
; 16 bars, 21.4 s. The frequency table is built for the NTSC clock.
!source "notes.asm"
PLAYER_CLOCK = 1022727.0

* = $e000
!source "player.asm"

!zone square_dance_data
song_speed:     !byte 5
song_orders_lo: !byte <.bass_order, <.drum_order, <.melody_order
song_orders_hi: !byte >.bass_order, >.drum_order, >.melody_order

; patterns 0-1: bass and drums; 2-9: melody
pattern_lo:
        !byte <.bass, <.drums
        !byte <.s1, <.s2, <.s3, <.s4, <.s5, <.s6, <.s7, <.s8
pattern_hi:
        !byte >.bass, >.drums
        !byte >.s1, >.s2, >.s3, >.s4, >.s5, >.s6, >.s7, >.s8

instruments:
        !byte $40, $08, $a8, $00, $08, $00, 2, 0        ; 0 bass, pulse
        !byte $80, $03, $00, $00, $00, $00, 1, 0        ; 1 drum, noise
        !byte $80, $01, $00, $00, $00, $00, 1, 0        ; 2 hi-hat, short noise
        !byte $40, $18, $97, $00, $03, $30, 2, 0        ; 3 fiddle, fast pulse sweep

.bass_order:   !byte T0, 0, T0, 0, T0+5, 0, T0+7, 0, T0, 0, T0, 0, T0+7, 0, T0, 0, LOOP, 0
.drum_order:   !byte T0, 1, LOOP, 0
.melody_order: !byte T0, 2, 3, 4, 5, 6, 7, 8, 9, T0-12, 2, 3, 4, 5, 6, 7, 8, 9, LOOP, 0

.bass:  !byte INS+0, D_+O2,2, A_+O2,2, D_+O3,2, A_+O2,2, D_+O2,2, A_+O2,2, Fs+O2,2, A_+O2,2, END
.drums: !byte INS+1, C_+O2,2, INS+2, A_+O6,2, INS+1, C_+O5,2, INS+2, A_+O6,1, A_+O6,1
        !byte INS+1, C_+O2,2, INS+2, A_+O6,2, INS+1, C_+O5,2, INS+2, A_+O6,2, END

.s1: !byte INS+3, D_+O5,1, E_+O5,1, Fs+O5,2, A_+O5,2, Fs+O5,2, D_+O5,2, Fs+O5,2, A_+O5,2, D_+O6,2, END
.s2: !byte Cs+O6,2, B_+O5,2, A_+O5,2, Fs+O5,2, E_+O5,2, D_+O5,2, E_+O5,2, Fs+O5,2, END
.s3: !byte G_+O5,2, B_+O5,2, D_+O6,2, B_+O5,2, G_+O5,2, B_+O5,2, D_+O6,4, END
.s4: !byte Cs+O6,2, A_+O5,2, E_+O5,2, Cs+O5,2, E_+O5,2, A_+O5,2, Cs+O6,4, END
.s5: !byte D_+O6,4, A_+O5,2, Fs+O5,2, D_+O5,4, Fs+O5,4, END
.s6: !byte E_+O5,2, Fs+O5,2, G_+O5,2, A_+O5,2, B_+O5,2, A_+O5,2, G_+O5,2, Fs+O5,2, END
.s7: !byte E_+O5,2, Cs+O5,2, E_+O5,2, A_+O5,2, G_+O5,2, E_+O5,2, Cs+O5,2, A_+O4,2, END
.s8: !byte D_+O5,4, Fs+O5,2, A_+O5,2, D_+O6,4, REST,4, END
