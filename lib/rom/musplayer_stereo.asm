; Sidplayer player for the second part of a stereo tune, on a second SID at
; $D500. Its entry points also run the mono player at $E000, which plays the
; first part. Assemble in this folder (or with -I naming it):
; acme -o stereo.bin musplayer_stereo.asm
; (3,228 bytes, $F000-$FC9B). Init $FC90, play $FC96; the second part's address
; lives at $FC6E (low) and $FC70 (high).

!cpu 6502
* = $F000

!macro at .addr {
    !if * > .addr { !error "code overlaps the fixed entry point ", .addr, " at ", * }
    !fill .addr - *, $EA
}

SID = $D500
ZP  = $FD

MONO_INIT = $EC60
MONO_PLAY = $EC80

!source "musplayer_engine.asm"

+at $FC6D
second_init:
    lda #$00                ; $FC6E: second part, low byte
    ldx #$10                ; $FC70: second part, high byte
    jmp engine_init

+at $FC90
init:
    jsr MONO_INIT
    jmp second_init

play:                       ; $FC96
    jsr MONO_PLAY
    jmp engine_play
!if * != $FC9C { !error "stereo player entry points moved" }
