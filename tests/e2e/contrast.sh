# How well the tray icon reads on a bar (sourced; bash; needs ImageMagick).
# The largest contrast ratio (WCAG) between the bar's colour and any pixel of
# the SIZE x SIZE square centred on X,Y of PNG, and how many pixels reach 3:1.
contrast_on_bar() { # PNG X Y SIZE BAR_HEX
  local half=$(($4 / 2))
  convert "$1" -crop "$4x$4+$(($2 - half))+$(($3 - half))" +repage -depth 8 txt:- |
    /usr/bin/python3 -c '
import re, sys
bar = sys.argv[1].lstrip("#")
def lum(r, g, b):
    def c(v):
        v /= 255
        return v / 12.92 if v <= 0.03928 else ((v + 0.055) / 1.055) ** 2.4
    return 0.2126 * c(r) + 0.7152 * c(g) + 0.0722 * c(b)
lb = lum(int(bar[0:2], 16), int(bar[2:4], 16), int(bar[4:6], 16))
best, strong = 1.0, 0
for line in sys.stdin:
    m = re.search(r"#([0-9A-Fa-f]{6})", line)
    if not m: continue
    h = m.group(1)
    l = lum(int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16))
    ratio = (max(l, lb) + 0.05) / (min(l, lb) + 0.05)
    best = max(best, ratio)
    strong += ratio >= 3
print(f"{best:.1f} {strong}")' "$5"
}
