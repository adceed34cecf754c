; Night Shift, a PSID tune at $0900 with two songs (init $0900 with the song
; in A, play $0903):
;   1  A minor, Am F C G, played from the CIA 1 timer (speed bit set, about
;      60 Hz); 16 bars, 25.5 s
;   2  A minor interlude, Am Dm E Am, 50 Hz; 8 bars, 20.5 s
!source "notes.asm"
PLAYER_CLOCK = 985248.0

* = $0900
!source "player.asm"

!zone night_shift_data
song_speed:     !byte 12, 16
song_orders_lo: !byte <.s1_bass, <.s1_chords, <.s1_melody
                !byte <.s2_bass, <.s2_chords, <.s2_melody
song_orders_hi: !byte >.s1_bass, >.s1_chords, >.s1_melody
                !byte >.s2_bass, >.s2_chords, >.s2_melody

; patterns 0-2: bass and chords; 3-11: melody of song 1; 12: long bass;
; 13-20: melody of song 2
pattern_lo:
        !byte <.bass, <.major, <.minor
        !byte <.n1, <.n2, <.n3, <.n4, <.n5, <.n6, <.n7, <.n8, <.n9
        !byte <.bass_long
        !byte <.i1, <.i2, <.i3, <.i4, <.i5, <.i6, <.i7, <.i8
pattern_hi:
        !byte >.bass, >.major, >.minor
        !byte >.n1, >.n2, >.n3, >.n4, >.n5, >.n6, >.n7, >.n8, >.n9
        !byte >.bass_long
        !byte >.i1, >.i2, >.i3, >.i4, >.i5, >.i6, >.i7, >.i8

instruments:
        !byte $40, $09, $99, $00, $02, $08, 2, 0        ; 0 bass, slowly sweeping pulse
        !byte $40, $04, $00, $00, $08, $00, 1, 0        ; 1 plucked square
        !byte $20, $2a, $a9, $00, $00, $00, 5, 0        ; 2 lead, sawtooth
        !byte $10, $4b, $b9, $00, $00, $00, 8, 0        ; 3 soft lead, triangle
        !byte $10, $09, $c8, $00, $00, $00, 4, 0        ; 4 long bass, triangle

.s1_bass:   !byte T0+9, 0, T0+5, 0, T0, 0, T0+7, 0, LOOP, 0
.s1_chords: !byte T0-3, 2, T0+5, 1, T0, 1, T0+7, 1, LOOP, 0
.s1_melody: !byte T0, 3, 4, 5, 6, 7, 8, 9, 10, 3, 4, 5, 6, 7, 8, 9, 11, LOOP, 0

.s2_bass:   !byte T0+9, 12, T0+2, 12, T0+4, 12, T0+9, 12, LOOP, 0
.s2_chords: !byte T0-3, 2, T0+2, 2, T0+4, 1, T0-3, 2, LOOP, 0
.s2_melody: !byte T0, 13, 14, 15, 16, 17, 18, 19, 20, LOOP, 0

.bass:  !byte INS+0, C_+O2,2, C_+O2,1, G_+O2,1, C_+O3,2, G_+O2,2, END
.major: !byte INS+1, C_+O4,1, E_+O4,1, G_+O4,1, E_+O4,1, C_+O4,1, E_+O4,1, G_+O4,1, E_+O4,1, END
.minor: !byte INS+1, C_+O4,1, Ds+O4,1, G_+O4,1, Ds+O4,1, C_+O4,1, Ds+O4,1, G_+O4,1, Ds+O4,1, END

.n1: !byte INS+2, A_+O4,2, C_+O5,2, E_+O5,2, A_+O5,2, END
.n2: !byte G_+O5,2, F_+O5,2, C_+O5,4, END
.n3: !byte E_+O5,2, G_+O5,2, C_+O6,2, B_+O5,2, END
.n4: !byte D_+O5,4, B_+O4,4, END
.n5: !byte C_+O5,1, D_+O5,1, E_+O5,2, A_+O4,4, END
.n6: !byte F_+O4,2, A_+O4,2, C_+O5,2, F_+O5,2, END
.n7: !byte E_+O5,2, D_+O5,2, C_+O5,2, G_+O4,2, END
.n8: !byte B_+O4,2, D_+O5,2, G_+O5,2, REST,2, END
.n9: !byte B_+O4,2, D_+O5,2, E_+O5,4, END

.bass_long: !byte INS+4, C_+O2,8, END

.i1: !byte INS+3, E_+O5,4, C_+O5,4, END
.i2: !byte D_+O5,4, F_+O5,4, END
.i3: !byte Gs+O4,4, B_+O4,4, END
.i4: !byte A_+O4,8, END
.i5: !byte C_+O5,2, B_+O4,2, A_+O4,4, END
.i6: !byte F_+O4,4, A_+O4,4, END
.i7: !byte B_+O4,4, Gs+O4,2, E_+O4,2, END
.i8: !byte A_+O4,6, REST,2, END
