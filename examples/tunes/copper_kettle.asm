; Copper Kettle, a PSID tune at $C000 with three songs (init $C000 with the
; song in A, play $C003, 50 Hz):
;   1  G major reel, G C D G, with noise drums; 16 bars, 20.5 s
;   2  E minor ballad, Em C G D; 12 bars, 26.9 s
;   3  D minor chase, Dm Dm Bb C, sixteenth-note ticks; 16 bars, 30.7 s
!source "notes.asm"
PLAYER_CLOCK = 985248.0

* = $c000
!source "player.asm"

!zone copper_kettle_data
song_speed:     !byte 8, 14, 6
song_orders_lo: !byte <.s1_bass, <.s1_drums, <.s1_melody
                !byte <.s2_bass, <.s2_chords, <.s2_melody
                !byte <.s3_bass, <.s3_drums, <.s3_melody
song_orders_hi: !byte >.s1_bass, >.s1_drums, >.s1_melody
                !byte >.s2_bass, >.s2_chords, >.s2_melody
                !byte >.s3_bass, >.s3_drums, >.s3_melody

; patterns 0-1: bass and drums of song 1; 2-9: its melody
; 10-12: bass and chords of song 2; 13-21: its melody
; 22-23: bass and drums of song 3; 24-27: its melody
pattern_lo:
        !byte <.bass8, <.drums8
        !byte <.k1, <.k2, <.k3, <.k4, <.k5, <.k6, <.k7, <.k8
        !byte <.bass_long, <.major, <.minor
        !byte <.l1, <.l2, <.l3, <.l4, <.l5, <.l6, <.l7, <.l8, <.l9
        !byte <.riff, <.drums16
        !byte <.c1, <.c2, <.c3, <.c4
pattern_hi:
        !byte >.bass8, >.drums8
        !byte >.k1, >.k2, >.k3, >.k4, >.k5, >.k6, >.k7, >.k8
        !byte >.bass_long, >.major, >.minor
        !byte >.l1, >.l2, >.l3, >.l4, >.l5, >.l6, >.l7, >.l8, >.l9
        !byte >.riff, >.drums16
        !byte >.c1, >.c2, >.c3, >.c4

instruments:
        !byte $40, $08, $a8, $00, $05, $00, 2, 0        ; 0 bass, pulse
        !byte $10, $05, $00, $00, $00, $00, 1, 0        ; 1 plucked triangle
        !byte $20, $19, $a6, $00, $00, $00, 3, 0        ; 2 lead, sawtooth
        !byte $80, $04, $00, $00, $00, $00, 1, 0        ; 3 drum, noise
        !byte $80, $01, $00, $00, $00, $00, 1, 0        ; 4 hi-hat, short noise
        !byte $40, $5a, $c9, $00, $03, $10, 6, 0        ; 5 pad, sweeping pulse
        !byte $10, $09, $c8, $00, $00, $00, 4, 0        ; 6 long bass, triangle

; song 1
.s1_bass:   !byte T0+7, 0, T0, 0, T0+2, 0, T0+7, 0, LOOP, 0
.s1_drums:  !byte T0, 1, LOOP, 0
.s1_melody: !byte T0, 2, 3, 4, 5, 6, 7, 8, 9
            !byte T0+12, 2, 3, 4, 5, T0, 6, 7, 8, 9, LOOP, 0

.bass8:  !byte INS+0, C_+O2,2, G_+O2,2, C_+O3,2, G_+O2,2, END
.drums8: !byte INS+3, C_+O2,1, INS+4, A_+O6,1, INS+3, C_+O5,1, INS+4, A_+O6,1
         !byte INS+3, C_+O2,1, INS+4, A_+O6,1, INS+3, C_+O5,1, INS+4, A_+O6,1, END

.k1: !byte INS+2, G_+O4,1, B_+O4,1, D_+O5,1, B_+O4,1, G_+O4,2, D_+O5,2, END
.k2: !byte E_+O5,2, C_+O5,1, E_+O5,1, G_+O5,2, E_+O5,2, END
.k3: !byte Fs+O5,2, A_+O5,1, Fs+O5,1, D_+O5,2, A_+O4,2, END
.k4: !byte B_+O4,1, A_+O4,1, G_+O4,2, D_+O4,2, REST,2, END
.k5: !byte D_+O5,2, D_+O5,1, E_+O5,1, D_+O5,2, B_+O4,2, END
.k6: !byte C_+O5,2, E_+O5,2, G_+O5,1, F_+O5,1, E_+O5,2, END
.k7: !byte D_+O5,1, E_+O5,1, Fs+O5,2, A_+O5,2, Fs+O5,2, END
.k8: !byte G_+O5,4, REST,4, END

; song 2
.s2_bass:   !byte T0+4, 10, T0, 10, T0+7, 10, T0+2, 10, LOOP, 0
.s2_chords: !byte T0+4, 12, T0, 11, T0+7, 11, T0+2, 11, LOOP, 0
.s2_melody: !byte T0, 13, 14, 15, 16, 17, 18, 19, 20, 13, 14, 15, 21, LOOP, 0

.bass_long: !byte INS+6, C_+O2,6, G_+O1,2, END
.major: !byte INS+1, C_+O4,1, E_+O4,1, G_+O4,1, C_+O5,1, G_+O4,1, E_+O4,1, C_+O4,1, E_+O4,1, END
.minor: !byte INS+1, C_+O4,1, Ds+O4,1, G_+O4,1, C_+O5,1, G_+O4,1, Ds+O4,1, C_+O4,1, Ds+O4,1, END

.l1: !byte INS+5, B_+O4,4, G_+O4,2, E_+O4,2, END
.l2: !byte E_+O4,3, G_+O4,1, C_+O5,4, END
.l3: !byte D_+O5,4, B_+O4,2, G_+O4,2, END
.l4: !byte A_+O4,6, Fs+O4,2, END
.l5: !byte G_+O4,2, A_+O4,2, B_+O4,4, END
.l6: !byte C_+O5,2, B_+O4,2, G_+O4,4, END
.l7: !byte B_+O4,2, D_+O5,2, G_+O5,4, END
.l8: !byte Fs+O5,4, D_+O5,2, A_+O4,2, END
.l9: !byte A_+O4,4, REST,4, END

; song 3
.s3_bass:   !byte T0, 22, T0, 22, T0-4, 22, T0-2, 22, LOOP, 0
.s3_drums:  !byte T0, 23, LOOP, 0
.s3_melody: !byte T0, 24, 25, 26, 27, T0+12, 24, 25, 26, 27
            !byte T0, 24, 25, 26, 27, T0-12, 24, 25, 26, 27, LOOP, 0

.riff: !byte INS+0, D_+O2,1, D_+O2,1, D_+O3,1, D_+O2,1, REST,1, D_+O2,1, F_+O2,1, D_+O2,1
       !byte G_+O2,1, D_+O2,1, A_+O2,2, D_+O3,1, C_+O3,1, A_+O2,2, END
.drums16:
       !byte INS+3, C_+O2,1, INS+4, A_+O6,1, A_+O6,1, A_+O6,1, INS+3, C_+O5,1, INS+4, A_+O6,1, A_+O6,1, A_+O6,1
       !byte INS+3, C_+O2,1, INS+4, A_+O6,1, INS+3, C_+O2,1, INS+4, A_+O6,1
       !byte INS+3, C_+O5,1, INS+4, A_+O6,1, A_+O6,1, A_+O6,1, END

.c1: !byte INS+2, D_+O5,2, F_+O5,2, A_+O5,4, G_+O5,2, F_+O5,2, E_+O5,4, END
.c2: !byte D_+O5,2, A_+O4,2, D_+O5,4, REST,8, END
.c3: !byte As+O4,2, D_+O5,2, F_+O5,4, E_+O5,2, D_+O5,2, C_+O5,4, END
.c4: !byte C_+O5,2, E_+O5,2, G_+O5,4, E_+O5,4, REST,4, END
