; Harbour Lights, as a PSID tune at $1000: init $1000, play $1003, 50 Hz.
!source "notes.asm"
PLAYER_CLOCK = 985248.0

* = $1000
!source "player.asm"
!source "harbour_lights_data.asm"
