; Harbour Lights: song data, shared by the PSID build (harbour_lights.asm)
; and the program rip (harbour_lights_prg.asm), which therefore drive the SID
; identically. C major, C Am F G; 16 bars loop, 25.6 s at 50 Hz.
!zone harbour_lights_data

song_speed:     !byte 10
song_orders_lo: !byte <.bass, <.chords, <.melody
song_orders_hi: !byte >.bass, >.chords, >.melody

pattern_lo:
        !byte <.p_bass, <.p_major, <.p_minor
        !byte <.m1, <.m2, <.m3, <.m4, <.m5, <.m6, <.m7, <.m8, <.m9
pattern_hi:
        !byte >.p_bass, >.p_major, >.p_minor
        !byte >.m1, >.m2, >.m3, >.m4, >.m5, >.m6, >.m7, >.m8, >.m9

instruments:
        !byte $40, $0a, $a9, $00, $06, $00, 3, 0        ; 0 bass, pulse
        !byte $10, $06, $00, $00, $00, $00, 1, 0        ; 1 plucked triangle
        !byte $40, $29, $a8, $00, $04, $20, 4, 0        ; 2 lead, sweeping pulse

.bass:   !byte T0, 0, T0-3, 0, T0+5, 0, T0+7, 0, LOOP, 0
.chords: !byte T0, 1, T0-3, 2, T0+5, 1, T0+7, 1, LOOP, 0
.melody: !byte T0, 3, 4, 5, 6, 7, 8, 9, 10, 3, 4, 5, 6, 7, 8, 9, 11, LOOP, 0

.p_bass:  !byte INS+0, C_+O2,2, G_+O2,2, C_+O3,2, G_+O2,2, END
.p_major: !byte INS+1, C_+O4,1, E_+O4,1, G_+O4,1, C_+O5,1, G_+O4,1, E_+O4,1, C_+O4,1, E_+O4,1, END
.p_minor: !byte INS+1, C_+O4,1, Ds+O4,1, G_+O4,1, C_+O5,1, G_+O4,1, Ds+O4,1, C_+O4,1, Ds+O4,1, END

.m1: !byte INS+2, E_+O5,2, D_+O5,1, C_+O5,1, E_+O5,2, G_+O5,2, END
.m2: !byte A_+O5,3, G_+O5,1, E_+O5,2, C_+O5,2, END
.m3: !byte F_+O5,2, A_+O5,2, C_+O6,2, A_+O5,2, END
.m4: !byte G_+O5,4, D_+O5,2, B_+O4,2, END
.m5: !byte C_+O5,2, E_+O5,2, G_+O5,3, E_+O5,1, END
.m6: !byte E_+O5,2, C_+O5,2, A_+O4,4, END
.m7: !byte A_+O4,2, C_+O5,2, F_+O5,2, E_+O5,1, D_+O5,1, END
.m8: !byte D_+O5,2, B_+O4,2, G_+O4,2, REST,2, END
.m9: !byte D_+O5,2, F_+O5,2, B_+O4,2, G_+O4,1, REST,1, END
