; Names used in the tunes' note data (player.asm reads the bytes).

; Semitones within an octave; a note is name + octave, C_+O4 being middle C.
C_ = 0
Cs = 1
D_ = 2
Ds = 3
E_ = 4
F_ = 5
Fs = 6
G_ = 7
Gs = 8
A_ = 9
As = 10
B_ = 11
O1 = 12
O2 = 24
O3 = 36
O4 = 48
O5 = 60
O6 = 72

; Pattern bytes: a note or REST is followed by its length in ticks.
REST = $60
INS = $80               ; INS+n: the voice's next notes use instrument n
END = $ff               ; end of pattern

; Order-list bytes: a pattern number, T0+n to transpose the following
; patterns by n semitones (-32..31), or LOOP and the position to go on at.
T0 = $a0
LOOP = $ff
