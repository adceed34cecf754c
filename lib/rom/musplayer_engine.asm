; Sidplayer music engine, shared by the mono and the stereo player.
;
; The including file sets SID (the chip this engine drives), ZP (two free zero
; page bytes for the data pointer) and the origin, then includes this file.
; Entry points: engine_init with the music data address in A (low) and X (high);
; engine_play once per timer interrupt.
;
; Music data, as loaded: three little-endian voice lengths, then the three
; voices' two-byte pairs. A pair whose first byte has its low two bits clear is
; a note: bit 7 triplet, bit 6 tie, bit 5 dot, bits 4-2 the duration (7 = 32nd
; ... 2 = whole, 1 = utility duration, 0 = pitch only, no time); the second byte
; holds accidental, octave and letter (letter 0 is a rest). Everything else is
; a command.
;
; Timing: a whole note lasts as many interrupts as the tempo value (0 meaning
; 256), so 14400 / tempo quarter notes a minute at 60 interrupts a second. A
; note length is the tempo halved per step, a dot adding half of it (a dotted
; triplet is double dotted), triplets halving a third tempo that only tempos
; divisible by 24 have. Lengths are whole interrupts of at most 256: a length
; that would need a fraction or more stops the whole part, as Sidplayer does.
;
; Each interrupt first writes the chip, then advances the voices: a stopped
; part writes nothing, a halted voice only its control register, and the gate
; of a note stays open into the next one unless the release point closed it.

TIE         = $01           ; the current note is tied to the next
SOUNDING    = $02           ; the current note is a tone, not a rest
HALTED      = $04           ; the voice reached its halt command
GLIDING     = $08           ; portamento is moving toward the note

CALL_DEPTH  = 4
LOOP_DEPTH  = 4
TIMER_BASE  = $4025         ; CIA 1 timer A for 60 interrupts a second on PAL

; ---- entry points ---------------------------------------------------------------

engine_init:
    sta ZP
    stx ZP+1
    ldx #vars_end - vars_start
    lda #0
-   sta vars_start - 1,x
    dex
    bne -
    ; voice data follows the three lengths
    ldy #0
    clc
    lda ZP
    adc #6
    sta v_ptrl
    lda ZP+1
    adc #0
    sta v_ptrh
    ldx #0
-   clc
    lda v_ptrl,x
    adc (ZP),y
    sta v_ptrl+1,x
    iny
    lda v_ptrh,x
    adc (ZP),y
    sta v_ptrh+1,x
    iny
    inx
    cpx #2
    bne -
    ; a voice that sets nothing sounds as Sidplayer's own start-up leaves it:
    ; pulse of half width, quick attack, full sustain, volume 8
    ldx #2
-   lda #1
    sta v_cntl,x
    sta v_dir,x
    lda #4
    sta v_pnt,x
    lda #$08
    sta v_pwh,x
    lda #$40
    sta v_ctrl,x
    lda #$20
    sta v_ad,x
    lda #$F5
    sta v_sr,x
    lda #1
    sta v_utv,x
    dex
    bpl -
    lda #144                ; Sidplayer's start-up tempo, utility length and filter byte
    sta g_tem
    lda #96
    sta g_trip
    lda #12
    sta g_utl
    lda #$08
    sta g_vol
    sta g_res
    ldy #$18
    lda #0
-   sta SID,y
    dey
    bpl -
    lda #<TIMER_BASE
    sta g_tml
    sta $DC04
    lda #>TIMER_BASE
    sta g_tmh
    sta $DC05
    rts

engine_play:
    lda g_stop
    beq +
    rts                     ; the part has ended: nothing more to write
+   lda g_fcl
    sta SID+$15
    lda g_fc
    sta SID+$16
    lda g_res
    sta SID+$17
    lda g_vol
    sta SID+$18
    ldx #0
-   lda v_flags,x
    and #HALTED
    bne +
    ldy sid_offset,x
    clc
    lda v_curl,x
    adc v_vofl,x
    sta SID,y
    lda v_curh,x
    adc v_vofh,x
    sta SID+1,y
    lda v_pwl,x
    sta SID+2,y
    lda v_pwh,x
    sta SID+3,y
    lda v_ad,x
    sta SID+5,y
    lda v_sr,x
    sta SID+6,y
+   inx
    cpx #3
    bne -
    ldx #0
-   ldy sid_offset,x
    lda v_ctrl,x
    ora v_gate,x
    sta SID+4,y
    inx
    cpx #3
    bne -
    ; the rate each interrupt: with two parts the second one's holds
    lda g_tml
    sta $DC04
    lda g_tmh
    sta $DC05

    ; then the voices move on, for the next interrupt to write
    ldx #0
-   stx t_voice
    lda v_flags,x
    and #HALTED
    bne +
    jsr voice_tick
    lda g_stop              ; a length Sidplayer cannot count ends the part at once
    bne stop_part
+   ldx t_voice
    inx
    cpx #3
    bne -
    lda v_flags
    and v_flags+1
    and v_flags+2
    and #HALTED
    beq filter_sweep
stop_part:
    ; every voice halted or the part stopped: silence it once, restore the rate
    lda #1
    sta g_stop
    lda #0
    sta SID+$04
    sta SID+$0B
    sta SID+$12
    sta SID+$01
    sta SID+$08
    sta SID+$0F
    lda #$08
    sta SID+$17
    lda #<TIMER_BASE
    sta $DC04
    lda #>TIMER_BASE
    sta $DC05
    rts

; filter sweep, held inside the cutoff range
filter_sweep:
    lda g_fs
    beq +++
    bmi +
    clc
    adc g_fc
    bcc ++
    lda #$FF
    bne ++
+   clc
    adc g_fc
    bcs ++
    lda #0
++  sta g_fc
+++ rts

; ---- one voice per interrupt (X = voice) -------------------------------------------

voice_tick:
    dec v_cntl,x            ; 0 counts 256
    bne running
    jmp fetch

running:
    ; the gate opens for the note's length less the release point
    lda v_flags,x
    and #TIE
    bne effects
    lda v_pnt,x
    cmp v_cntl,x
    bcc effects
    lda #0
    sta v_gate,x
effects:
    ; a glide runs until it reaches the note; from the next interrupt on the
    ; vibrato takes over
    lda v_flags,x
    and #GLIDING
    beq vibrato
    jsr glide
    lda v_curl,x
    cmp v_tgtl,x
    bne output
    lda v_curh,x
    cmp v_tgth,x
    bne output
    lda v_flags,x
    and #$FF - GLIDING
    sta v_flags,x
    jmp output
vibrato:
    lda v_flags,x
    and #SOUNDING
    beq output
    lda v_vdp,x
    beq output
    lda v_vrt,x
    beq output
    lda v_dir,x
    bmi +
    inc v_k,x
    clc
    lda v_vofl,x
    adc v_vdp,x
    sta v_vofl,x
    lda v_vofh,x
    adc #0
    sta v_vofh,x
    jmp ++
+   dec v_k,x
    sec
    lda v_vofl,x
    sbc v_vdp,x
    sta v_vofl,x
    lda v_vofh,x
    sbc #0
    sta v_vofh,x
++  lda v_k,x
    bpl +
    eor #$FF
    clc
    adc #1
+   cmp v_vrt,x
    bcc output
    lda v_dir,x
    eor #$FE                ; +1 <-> -1
    sta v_dir,x

output:
    ; pulse width sweep, 12 bits
    lda v_ps,x
    beq ++
    ldy #0
    ora #0
    bpl +
    dey
+   clc
    adc v_pwl,x
    sta v_pwl,x
    tya
    adc v_pwh,x
    and #$0F
    sta v_pwh,x
++  rts

; portamento: the sounding frequency moves toward the note's by the rate each interrupt
glide:
    lda v_curl,x
    cmp v_tgtl,x
    lda v_curh,x
    sbc v_tgth,x
    bcs glide_down
    clc
    lda v_curl,x
    adc v_porl,x
    sta v_curl,x
    lda v_curh,x
    adc v_porh,x
    sta v_curh,x
    bcs glide_reached
    lda v_curl,x
    cmp v_tgtl,x
    lda v_curh,x
    sbc v_tgth,x
    bcs glide_reached
    rts
glide_down:
    sec
    lda v_curl,x
    sbc v_porl,x
    sta v_curl,x
    lda v_curh,x
    sbc v_porh,x
    sta v_curh,x
    bcc glide_reached
    lda v_curl,x
    cmp v_tgtl,x
    lda v_curh,x
    sbc v_tgth,x
    bcc glide_reached
    rts
glide_reached:
    lda v_tgtl,x
    sta v_curl,x
    lda v_tgth,x
    sta v_curh,x
    rts

; ---- reading the voice's pairs ------------------------------------------------------

; Reads commands up to the next note that takes time. A voice whose commands
; never reach one (a phrase calling itself, jumps in a circle) is halted rather
; than hanging the interrupt.
fetch:
    lda #0
    sta t_guard
fetch_next:
    inc t_guard
    bne +
    jmp halt
+   lda v_ptrl,x
    sta ZP
    lda v_ptrh,x
    sta ZP+1
    ldy #0
    lda (ZP),y
    sta t_a
    iny
    lda (ZP),y
    sta t_c
    clc
    lda v_ptrl,x
    adc #2
    sta v_ptrl,x
    bcc +
    inc v_ptrh,x
+   lda t_a
    and #3
    bne +
    jsr note
    bcc fetch_next
    lda g_stop
    bne ++
    jmp output
+   jsr command
    bcc fetch_next
++  rts

;  A note pair. Carry set: the note starts now (or the part stopped, g_stop);
; clear: pitch only, read on.
note:
    lda t_a
    bne note_timed
    lda t_c                 ; a first byte of 0: pitch only, no time
    and #7
    beq +
    jsr pitch
    lda t_fl
    sta v_curl,x
    sta v_tgtl,x
    lda t_fh
    sta v_curh,x
    sta v_tgth,x
+   clc
    rts
note_timed:
    jsr length
    bcc +
    lda #1                  ; no whole number of interrupts: the part ends
    sta g_stop
    rts
+   sta v_cntl,x
    lda v_flags,x
    and #$FF - TIE - SOUNDING - GLIDING
    bit t_a
    bvc +
    ora #TIE
+   sta v_flags,x
    lda t_c
    and #7
    bne note_tone
    lda #0                  ; a rest
    sta v_gate,x
    sec
    rts
note_tone:
    lda v_flags,x
    ora #SOUNDING
    sta v_flags,x
    jsr pitch
    lda t_fl
    sta v_tgtl,x
    lda t_fh
    sta v_tgth,x
    lda v_porl,x
    ora v_porh,x
    beq ++
    lda v_curl,x            ; a glide needs a sounding frequency to start from
    ora v_curh,x
    beq ++
    lda v_flags,x
    ora #GLIDING
    sta v_flags,x
    bne +
++  lda t_fl
    sta v_curl,x
    lda t_fh
    sta v_curh,x
+   lda #1                  ; a gate still open stays open: no new attack
    sta v_gate,x
    sec
    rts

; Length of the note pair t_a in interrupts into A (0 meaning 256). Carry set:
; Sidplayer cannot count it (a fraction of an interrupt, or more than 256).
length:
    lda t_a
    lsr
    lsr
    and #7
    beq length_64th
    cmp #1
    bne length_tempo
    lda t_a                 ; utility: the dot picks the voice's own length
    and #$20
    bne +
    lda g_utl
    clc
    rts
+   lda v_utv,x
    clc
    rts
length_64th:
    bit t_a
    bpl +
    jmp length_64th_triplet
+
    lda g_tem               ; (tempo AND 3) x 8 + tempo / 64, 0 giving 4
    and #$3C
    bne length_bad
    lda g_tem
    and #3
    asl
    asl
    asl
    sta t_m
    lda g_tem
    rol
    rol
    rol
    and #3
    ora t_m
    bne +
    lda #4
+   clc
    rts
length_64th_triplet:
    lda g_trip
    beq length_bad
    and #$3F
    bne length_bad
    lda g_trip
    rol
    rol
    rol
    and #3
    beq length_bad
    clc
    rts
length_bad:
    sec
    rts
length_tempo:
    tay
    lda t_a
    and #$A0
    cmp #$80
    bne length_plain
    lda g_trip              ; a triplet
    beq length_bad
    dey
    dey
    beq +
-   lsr
    bcs length_bad
    dey
    bne -
+   clc
    rts
length_plain:
    sta t_e                 ; dot, and triplet with it: double dot
    clc
    lda g_tem
    bne +
    sec                     ; tempo 0: 256
+   dey
    dey
    beq ++
-   ror
    bcs length_bad
    clc
    dey
    bne -
++  ldy t_e
    beq length_ok
    sta t_d                 ; the dot adds half
    lsr t_d
    bcs length_bad
    beq length_bad
    adc t_d
    bcs length_bad
    cpy #$A0
    bne length_ok
    lsr t_d                 ; the second dot a quarter
    bcs length_bad
    adc t_d
    bcs length_bad
length_ok:
    clc
    rts

; Frequency of the pitch byte t_c, transposed and detuned, into t_fl/t_fh.
pitch:
    lda t_c
    and #7
    tay
    lda letter_semitone,y
    sta t_n
    lda t_c
    lsr
    lsr
    lsr
    and #7
    eor #7                  ; octave 0-7
    asl
    asl
    sta t_m
    asl
    clc
    adc t_m                 ; x 12
    adc t_n
    sta t_n
    lda t_c
    and #$C0
    cmp #$C0
    bne +
    dec t_n                 ; flat
    jmp ++
+   cmp #$40
    bne ++
    inc t_n                 ; sharp
++  lda t_n
    bpl +
    lda #0                  ; C flat of octave 0
+   clc
    adc v_tps,x
    ldy v_tps,x
    bmi +
    cmp #96
    bcc ++
    lda #95
    bne ++
+   bcs ++
    lda #0
++  ldy #0
-   cmp #12
    bcc +
    sbc #12
    iny
    bne -
+   sty t_m
    tay
    lda top_octave_lo,y
    sta t_fl
    lda top_octave_hi,y
    sta t_fh
    lda #7
    sec
    sbc t_m
    beq +
    tay
-   lsr t_fh
    ror t_fl
    dey
    bne -
+   clc
    lda t_fl
    adc v_dtnl,x
    sta t_fl
    lda t_fh
    adc v_dtnh,x
    sta t_fh
    rts

; ---- commands (t_a, t_c). Carry set: the voice stops here. --------------------------

command:
    lda t_a
    cmp #1
    bne +
    lda t_c
    and #$0F
    tay
    lda cmd01_hi,y
    pha
    lda cmd01_lo,y
    pha
    rts
+   and #3
    cmp #3
    bne +
    jmp cmd_portamento
+   cmp #2
    beq +
    clc                     ; no command of this shape
    rts
+   lda t_a
    and #$0F
    cmp #$02
    bne +
    jmp cmd_pulse_width
+   cmp #$0A
    bne +
    jmp cmd_detune
+   cmp #$0E
    bne +
    jmp cmd_group_e
+   lda t_a                 ; low nibble 6: the high nibble picks the command
    lsr
    lsr
    lsr
    lsr
    tay
    lda cmd06_hi,y
    pha
    lda cmd06_lo,y
    pha
    rts

cmd_none:
    clc
    rts

cmd_decay:
    lda v_ad,x
    and #$F0
    sta t_m
    lda t_c
    lsr
    lsr
    lsr
    lsr
    ora t_m
    sta v_ad,x
    clc
    rts

cmd_release:
    lda v_sr,x
    and #$F0
    sta t_m
    lda t_c
    lsr
    lsr
    lsr
    lsr
    ora t_m
    sta v_sr,x
    clc
    rts

; attack (bit 7 clear) or sustain (bit 7 set), value in bits 6-3
cmd_attack_sustain:
    lda t_c
    asl
    and #$F0
    sta t_m
    bit t_c
    bmi +
    lda v_ad,x
    and #$0F
    ora t_m
    sta v_ad,x
    clc
    rts
+   lda v_sr,x
    and #$0F
    ora t_m
    sta v_sr,x
    clc
    rts

cmd_call:
    lda t_c
    lsr
    lsr
    lsr
    lsr
    tay
    lda ph_set,y
    beq +
    lda v_sp,x
    cmp #CALL_DEPTH
    bcs +
    jsr stack_slot
    lda v_ptrl,x
    sta call_lo,y
    lda v_ptrh,x
    sta call_hi,y
    lda v_defs,x
    sta call_defs,y
    lda #0
    sta v_defs,x
    inc v_sp,x
    lda t_c
    lsr
    lsr
    lsr
    lsr
    tay
    lda ph_lo,y
    sta v_ptrl,x
    lda ph_hi,y
    sta v_ptrh,x
+   clc
    rts

; Y := voice x 4 + v_sp (the next free slot)
stack_slot:
    txa
    asl
    asl
    clc
    adc v_sp,x
    tay
    rts

loop_slot:
    txa
    asl
    asl
    clc
    adc v_lp,x
    tay
    rts

; A phrase is defined where its voice passes it, and plays there as well.
; Definitions nest: each end closes the innermost definition begun since the
; phrase was entered, and only an end that closes none returns from the call.
cmd_define:
    inc v_defs,x
    lda t_c
    lsr
    lsr
    lsr
    lsr
    tay
    lda v_ptrl,x
    sta ph_lo,y
    lda v_ptrh,x
    sta ph_hi,y
    lda #1
    sta ph_set,y
    clc
    rts

cmd_switch_off:
    lda t_c
    lsr
    lsr
    lsr
    lsr
    tay
    beq bump_up
    dey
    beq filter_off
    dey
    beq ring_off
    dey
    beq sync_off
    dey
    beq external_off
    dey
    beq voice3_on
    clc
    rts
bump_up:                    ; bump up: one step louder
    lda g_vol
    and #$0F
    cmp #$0F
    beq +
    inc g_vol
+   clc
    rts
filter_off:
    lda voice_bit,x
    eor #$FF
    and g_res
    sta g_res
    clc
    rts
ring_off:
    lda v_ctrl,x
    and #$FB
    sta v_ctrl,x
    clc
    rts
sync_off:
    lda v_ctrl,x
    and #$FD
    sta v_ctrl,x
    clc
    rts
external_off:
    lda g_res
    and #$F7
    sta g_res
    clc
    rts
voice3_on:
    lda g_vol
    and #$7F
    sta g_vol
    clc
    rts

cmd_switch_on:
    lda t_c
    lsr
    lsr
    lsr
    lsr
    tay
    beq bump_down
    dey
    beq filter_on
    dey
    beq ring_on
    dey
    beq sync_on
    dey
    beq external_on
    dey
    beq voice3_off
    clc
    rts
bump_down:                  ; bump down: one step softer
    lda g_vol
    and #$0F
    beq +
    dec g_vol
+   clc
    rts
filter_on:
    lda voice_bit,x
    ora g_res
    sta g_res
    clc
    rts
ring_on:
    lda v_ctrl,x
    ora #$04
    sta v_ctrl,x
    clc
    rts
sync_on:
    lda v_ctrl,x
    ora #$02
    sta v_ctrl,x
    clc
    rts
external_on:
    lda g_res
    ora #$08
    sta g_res
    clc
    rts
voice3_off:
    lda g_vol
    ora #$80
    sta g_vol
    clc
    rts

; waveform (bit 4 clear) or filter mode (bit 4 set), value in bits 7-5
cmd_wave_mode:
    lda t_c
    and #$10
    bne +
    lda t_c
    lsr
    and #$70
    bne ++
    lda #$80                ; 0 is noise
++  sta t_m
    lda v_ctrl,x
    and #$0F
    ora t_m
    sta v_ctrl,x
    clc
    rts
+   lda t_c
    lsr
    and #$70
    sta t_m
    lda g_vol
    and #$8F
    ora t_m
    sta g_vol
    clc
    rts

cmd_resonance:
    lda g_res
    and #$0F
    sta t_m
    lda t_c
    and #$F0
    ora t_m
    sta g_res
    clc
    rts

cmd_volume:
    lda g_vol
    and #$F0
    sta t_m
    lda t_c
    lsr
    lsr
    lsr
    lsr
    ora t_m
    sta g_vol
    clc
    rts

; tail, end of phrase, halt
cmd_flow:
    lda t_c
    cmp #$0F
    beq cmd_tail
    cmp #$2F
    beq cmd_end
    cmp #$4F
    beq halt
    clc
    rts
halt:                       ; the gate stays as it is
    lda v_flags,x
    ora #HALTED
    sta v_flags,x
    sec
    rts
cmd_end:
    lda v_defs,x
    beq +
    dec v_defs,x            ; the end of a definition passed on the way: play on
    clc
    rts
+   lda v_sp,x
    beq +
    dec v_sp,x
    jsr stack_slot
    lda call_lo,y
    sta v_ptrl,x
    lda call_hi,y
    sta v_ptrh,x
    lda call_defs,y
    sta v_defs,x
+   clc
    rts
cmd_tail:
    lda v_lp,x
    beq ++
    dec v_lp,x
    jsr loop_slot
    lda loop_count,y
    sec
    sbc #1
    sta loop_count,y
    beq ++                  ; the last pass: leave the loop
    lda loop_lo,y
    sta v_ptrl,x
    lda loop_hi,y
    sta v_ptrh,x
    inc v_lp,x
++  clc
    rts

cmd_head:
    lda v_lp,x
    cmp #LOOP_DEPTH
    bcs +
    jsr loop_slot
    lda v_ptrl,x
    sta loop_lo,y
    lda v_ptrh,x
    sta loop_hi,y
    lda t_c                 ; 0 repeats 256 times
    sta loop_count,y
    inc v_lp,x
+   clc
    rts

cmd_tempo:
    lda t_c
    sta g_tem
    lsr                     ; triplets: two thirds of the tempo's multiple of 24
    lsr
    lsr
    tay
    lda triplet_tempo,y
    sta g_trip
    clc
    rts

cmd_utility:
    lda t_c
    sta g_utl
    clc
    rts

cmd_utility_voice:
    lda t_c
    sta v_utv,x
    clc
    rts

cmd_point:
    lda t_c
    sta v_pnt,x
    clc
    rts

cmd_pulse_sweep:
    lda t_c
    sta v_ps,x
    clc
    rts

cmd_filter_sweep:
    lda t_c
    sta g_fs
    clc
    rts

; The vibrato keeps its phase across notes and commands; a new depth rescales
; the offset the phase stands at, and depth 0 ends it, so the next one starts
; from the note's own pitch, rising.
cmd_vibrato_depth:
    lda t_c
    and #$7F
    sta v_vdp,x
    lda #0
    sta v_vofl,x
    sta v_vofh,x
    lda v_vdp,x
    bne +
    sta v_k,x
    lda #1
    sta v_dir,x
    clc
    rts
+   lda v_k,x
    beq +++
    bpl +
    eor #$FF
    clc
    adc #1
+   tay
-   clc
    lda v_vofl,x
    adc v_vdp,x
    sta v_vofl,x
    bcc +
    inc v_vofh,x
+   dey
    bne -
    lda v_k,x
    bpl +++
    sec
    lda #0
    sbc v_vofl,x
    sta v_vofl,x
    lda #0
    sbc v_vofh,x
    sta v_vofh,x
+++ clc
    rts

cmd_vibrato_rate:
    lda t_c
    sta v_vrt,x
    clc
    rts

; half-steps: positive (bit 0 clear) (7 - octaves) x 12 + bits 7-4,
; negative -(octaves x 12 + 11 - bits 7-4)
cmd_transpose:
    lda t_c
    lsr
    and #7
    asl
    asl
    sta t_m
    asl
    clc
    adc t_m
    sta t_m                 ; octaves x 12
    lda t_c
    lsr
    lsr
    lsr
    lsr
    sta t_n
    lda t_c
    and #1
    bne +
    lda #84
    sec
    sbc t_m
    clc
    adc t_n
    sta v_tps,x
    clc
    rts
+   lda t_n
    sec
    sbc #11
    sec
    sbc t_m
    sta v_tps,x
    clc
    rts

cmd_pulse_width:
    lda t_c
    sta v_pwl,x
    lda t_a
    lsr
    lsr
    lsr
    lsr
    sta v_pwh,x
    clc
    rts

; 11 bits from byte 1 bits 7-5 and byte 2; bit 4 makes it negative
cmd_detune:
    lda t_a
    lsr
    lsr
    lsr
    lsr
    lsr
    sta t_m
    lda t_a
    and #$10
    beq +
    sec
    lda t_c
    sbc #0
    sta v_dtnl,x
    lda t_m
    sbc #8
    sta v_dtnh,x
    clc
    rts
+   lda t_c
    sta v_dtnl,x
    lda t_m
    sta v_dtnh,x
    clc
    rts

; rate from byte 1 bits 7-2 and byte 2
cmd_portamento:
    lda t_c
    sta v_porl,x
    lda t_a
    lsr
    lsr
    sta v_porh,x
    clc
    rts

; low nibble $E: bits 5-4 pick cutoff (00), measure number (01) or interrupt rate (11)
cmd_group_e:
    lda t_a
    and #$30
    bne +
    lda t_c
    sta g_fc
    lda t_a
    rol
    rol
    rol
    and #$03
    sta g_fcl
    clc
    rts
+   cmp #$30
    beq +
    clc
    rts
    ; the interrupt period moves by 64 cycles a step: byte 2 and bits 7-6 of
    ; byte 1 form a signed count of quarter steps
+   lda t_a
    and #$C0
    clc
    adc #<TIMER_BASE
    sta g_tml
    lda t_c
    adc #>TIMER_BASE
    sta g_tmh
    clc
    rts

; ---- tables -----------------------------------------------------------------------

sid_offset:
    !byte 0, 7, 14
voice_bit:
    !byte 1, 2, 4

; letter 1-7 is C D E F G A B
letter_semitone:
    !byte 0, 0, 2, 4, 5, 7, 9, 11

; octave 7 from C, for a 1,022,727 Hz clock and A = 440 Hz; lower octaves halve
top_octave_lo:
    !byte <34334, <36376, <38539, <40830, <43258, <45830, <48556, <51443, <54502, <57743, <61176, <64814
top_octave_hi:
    !byte >34334, >36376, >38539, >40830, >43258, >45830, >48556, >51443, >54502, >57743, >61176, >64814

; two thirds of a tempo by tempo / 8, where that is whole; 0 otherwise
triplet_tempo:
!for .i, 0, 31 {
    !if .i % 3 = 0 { !byte .i * 16 / 3 } else { !byte 0 }
}

; command dispatch for first byte $01, by the low nibble of byte 2
cmd01_lo:
    !byte <(cmd_decay-1), <(cmd_none-1), <(cmd_call-1), <(cmd_switch_off-1)
    !byte <(cmd_attack_sustain-1), <(cmd_none-1), <(cmd_define-1), <(cmd_wave_mode-1)
    !byte <(cmd_release-1), <(cmd_none-1), <(cmd_resonance-1), <(cmd_switch_on-1)
    !byte <(cmd_attack_sustain-1), <(cmd_none-1), <(cmd_volume-1), <(cmd_flow-1)
cmd01_hi:
    !byte >(cmd_decay-1), >(cmd_none-1), >(cmd_call-1), >(cmd_switch_off-1)
    !byte >(cmd_attack_sustain-1), >(cmd_none-1), >(cmd_define-1), >(cmd_wave_mode-1)
    !byte >(cmd_release-1), >(cmd_none-1), >(cmd_resonance-1), >(cmd_switch_on-1)
    !byte >(cmd_attack_sustain-1), >(cmd_none-1), >(cmd_volume-1), >(cmd_flow-1)

; commands $x6 by the high nibble: tempo, utility, point, head, flag, pulse
; sweep, filter sweep, vibrato depth and rate, auto, transpose, auxiliary,
; utility length of the voice
cmd06_lo:
    !byte <(cmd_tempo-1), <(cmd_utility-1), <(cmd_point-1), <(cmd_head-1)
    !byte <(cmd_none-1), <(cmd_pulse_sweep-1), <(cmd_filter_sweep-1), <(cmd_vibrato_depth-1)
    !byte <(cmd_vibrato_rate-1), <(cmd_none-1), <(cmd_transpose-1), <(cmd_none-1)
    !byte <(cmd_none-1), <(cmd_none-1), <(cmd_none-1), <(cmd_utility_voice-1)
cmd06_hi:
    !byte >(cmd_tempo-1), >(cmd_utility-1), >(cmd_point-1), >(cmd_head-1)
    !byte >(cmd_none-1), >(cmd_pulse_sweep-1), >(cmd_filter_sweep-1), >(cmd_vibrato_depth-1)
    !byte >(cmd_vibrato_rate-1), >(cmd_none-1), >(cmd_transpose-1), >(cmd_none-1)
    !byte >(cmd_none-1), >(cmd_none-1), >(cmd_none-1), >(cmd_utility_voice-1)

; ---- state (cleared by engine_init) ---------------------------------------------

vars_start:
v_ptrl:     !fill 3
v_ptrh:     !fill 3
v_cntl:     !fill 3
v_utv:      !fill 3
v_flags:    !fill 3
v_ctrl:     !fill 3
v_gate:     !fill 3
v_ad:       !fill 3
v_sr:       !fill 3
v_pwl:      !fill 3
v_pwh:      !fill 3
v_ps:       !fill 3
v_vdp:      !fill 3
v_vrt:      !fill 3
v_k:        !fill 3
v_dir:      !fill 3
v_vofl:     !fill 3
v_vofh:     !fill 3
v_porl:     !fill 3
v_porh:     !fill 3
v_curl:     !fill 3
v_curh:     !fill 3
v_tgtl:     !fill 3
v_tgth:     !fill 3
v_tps:      !fill 3
v_dtnl:     !fill 3
v_dtnh:     !fill 3
v_pnt:      !fill 3
v_sp:       !fill 3
v_lp:       !fill 3
v_defs:     !fill 3
call_lo:    !fill 3 * CALL_DEPTH
call_hi:    !fill 3 * CALL_DEPTH
call_defs:  !fill 3 * CALL_DEPTH
loop_lo:    !fill 3 * LOOP_DEPTH
loop_hi:    !fill 3 * LOOP_DEPTH
loop_count: !fill 3 * LOOP_DEPTH
ph_lo:      !fill 16
ph_hi:      !fill 16
ph_set:     !fill 16
g_tem:      !byte 0
g_trip:     !byte 0
g_stop:     !byte 0
g_tml:      !byte 0
g_tmh:      !byte 0
g_utl:      !byte 0
g_vol:      !byte 0
g_res:      !byte 0
g_fc:       !byte 0
g_fcl:      !byte 0
g_fs:       !byte 0
t_voice:    !byte 0
t_guard:    !byte 0
t_a:        !byte 0
t_c:        !byte 0
t_d:        !byte 0
t_e:        !byte 0
t_m:        !byte 0
t_n:        !byte 0
t_fl:       !byte 0
t_fh:       !byte 0
vars_end:
