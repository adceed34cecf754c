; Sidplayer player for one SID: plays the music data whose address the loader
; patches into the init code. Assemble in this folder (or with -I naming it):
; acme -o mono.bin musplayer_mono.asm
; (3,215 bytes, $E000-$EC8E). Init $EC60, play $EC80; the music data address
; lives at $EC6E (low) and $EC70 (high).

!cpu 6502
* = $E000

!macro at .addr {
    !if * > .addr { !error "code overlaps the fixed entry point ", .addr, " at ", * }
    !fill .addr - *, $EA
}

SID = $D400
ZP  = $FB

!source "musplayer_engine.asm"

+at $EC60
init:                       ; falls through to the patched loads
+at $EC6D
    lda #$00                ; $EC6E: music data, low byte
    ldx #$10                ; $EC70: music data, high byte
    jmp engine_init

+at $EC80
play:
    jmp engine_play

+at $EC8F
