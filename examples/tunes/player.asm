; The example tunes' player: three voices, each walking an order list of
; patterns of note/length pairs (see notes.asm for the bytes).
;
; Include it where the entry points belong: it starts with JMP init (A = song,
; from 0) and JMP play (once per tick of the song's timer). The including file
; sets PLAYER_CLOCK (the machine's clock in Hz, for the frequency table) and
; supplies:
;   song_speed            frames per tick, one byte per song
;   song_orders_lo/_hi    order lists, three per song (voice 1, 2, 3)
;   pattern_lo/_hi        pattern addresses by pattern number
;   instruments           eight bytes each: waveform, attack/decay,
;                         sustain/release, pulse width low, high, pulse width
;                         step per frame, frames before the end of a note at
;                         which the gate is released (0: held to the end), unused
; Each voice writes a note as frequency, pulse width, envelope, then control
; with the gate set, so every note is keyed anew.

zp_ptr = $fb            ; two bytes; free for programs, untouched by BASIC and KERNAL

        jmp init
        jmp play

!zone init
init:
        sta cur_song
        ldx #$18
        lda #0
.clear: sta $d400,x
        dex
        bpl .clear
        lda #$0f
        sta $d418
        ldy cur_song
        lda song_speed,y
        sta speed
        tya
        asl
        adc cur_song            ; three order lists per song; C is clear (asl of a small number)
        sta song_base
        ldx #2
.voice: txa
        clc
        adc song_base
        tay
        lda song_orders_lo,y
        sta ord_lo,x
        lda song_orders_hi,y
        sta ord_hi,x
        lda #0
        sta ord_pos,x
        sta transpose,x
        jsr set_instrument
        lda #1                  ; the first play call reads the first note
        sta count,x
        jsr next_pattern
        dex
        bpl .voice
        rts

!zone play
play:
        ldx #2
.voice: dec count,x
        bne .held
        jsr next_event
        jmp .sweep
.held:  lda count,x
        cmp release,x
        bne .sweep
        ldy reg_offset,x
        lda wave,x
        sta $d404,y
.sweep: lda pw_add,x
        beq .next
        ldy reg_offset,x
        clc
        adc pw_lo,x
        sta pw_lo,x
        sta $d402,y
        lda pw_hi,x
        adc #0
        and #$0f
        sta pw_hi,x
        sta $d403,y
.next:  dex
        bpl .voice
        rts

!zone next_event
; Reads the voice's next note or rest, with any instrument changes and
; pattern ends before it. X = voice.
next_event:
        jsr fetch
        cmp #END
        bne .not_end
        jsr next_pattern
        jmp next_event
.not_end:
        cmp #INS
        bcc .not_instrument
        and #$0f
        jsr set_instrument
        jmp next_event
.not_instrument:
        cmp #REST
        bne .note
        jsr fetch_length
        ldy reg_offset,x
        lda wave,x
        sta $d404,y
        rts
.note:  clc
        adc transpose,x
        sta note
        jsr fetch_length
        ldy note
        lda freq_lo,y
        sta f_lo
        lda freq_hi,y
        sta f_hi
        ldy reg_offset,x
        lda f_lo
        sta $d400,y
        lda f_hi
        sta $d401,y
        lda pw_start_lo,x
        sta pw_lo,x
        sta $d402,y
        lda pw_start_hi,x
        sta pw_hi,x
        sta $d403,y
        lda attack_decay,x
        sta $d405,y
        lda sustain_release,x
        sta $d406,y
        lda wave,x
        ora #1
        sta $d404,y
        rts

!zone fetch_length
; Length byte in ticks times the song's speed gives the note's frames.
fetch_length:
        jsr fetch
        tay
        lda #0
.add:   clc
        adc speed
        dey
        bne .add
        sta count,x
        rts

!zone fetch
fetch:
        lda pat_lo,x
        sta zp_ptr
        lda pat_hi,x
        sta zp_ptr+1
        ldy #0
        lda (zp_ptr),y
        inc pat_lo,x
        bne .done
        inc pat_hi,x
.done:  rts

!zone next_pattern
; Steps the voice's order list to its next pattern, taking transpositions
; and loops on the way.
next_pattern:
        jsr fetch_order
        cmp #LOOP
        bne .not_loop
        jsr fetch_order
        sta ord_pos,x
        jmp next_pattern
.not_loop:
        cmp #$80
        bcc .pattern
        sbc #T0                 ; C is set by the compare
        sta transpose,x
        jmp next_pattern
.pattern:
        tay
        lda pattern_lo,y
        sta pat_lo,x
        lda pattern_hi,y
        sta pat_hi,x
        rts

fetch_order:
        lda ord_lo,x
        sta zp_ptr
        lda ord_hi,x
        sta zp_ptr+1
        ldy ord_pos,x
        lda (zp_ptr),y
        inc ord_pos,x
        rts

!zone set_instrument
; A = instrument number, X = voice.
set_instrument:
        asl
        asl
        asl
        tay
        lda instruments,y
        sta wave,x
        lda instruments+1,y
        sta attack_decay,x
        lda instruments+2,y
        sta sustain_release,x
        lda instruments+3,y
        sta pw_start_lo,x
        lda instruments+4,y
        sta pw_start_hi,x
        lda instruments+5,y
        sta pw_add,x
        lda instruments+6,y
        sta release,x
        rts

reg_offset:
        !byte 0, 7, 14

; Equal temperament, A above middle C at 440 Hz; B-7 would not fit 16 bits.
freq_lo:
!for n, 0, 94 {
        !byte <int(440.0 * 2.0 ^ ((n - 57) / 12.0) * 16777216.0 / PLAYER_CLOCK + 0.5)
}
freq_hi:
!for n, 0, 94 {
        !byte >int(440.0 * 2.0 ^ ((n - 57) / 12.0) * 16777216.0 / PLAYER_CLOCK + 0.5)
}

cur_song:       !byte 0
speed:          !byte 0
song_base:      !byte 0
note:           !byte 0
f_lo:           !byte 0
f_hi:           !byte 0
ord_lo:         !fill 3, 0
ord_hi:         !fill 3, 0
ord_pos:        !fill 3, 0
pat_lo:         !fill 3, 0
pat_hi:         !fill 3, 0
transpose:      !fill 3, 0
count:          !fill 3, 0
wave:           !fill 3, 0
attack_decay:   !fill 3, 0
sustain_release: !fill 3, 0
pw_start_lo:    !fill 3, 0
pw_start_hi:    !fill 3, 0
pw_add:         !fill 3, 0
release:        !fill 3, 0
pw_lo:          !fill 3, 0
pw_hi:          !fill 3, 0
