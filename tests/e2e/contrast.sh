# How well the tray icon reads on a bar (sourced; bash; needs ImageMagick).
# contrast_on_bar PNG X Y SIZE BAR_HEX: the largest contrast ratio (WCAG)
# between the bar's colour and any pixel of the SIZE x SIZE square centred on
# X,Y of PNG, and how many pixels reach 3:1.
# ink_on_bar PNG X Y SIZE BAR_HEX: the same two, then the width and height of
# the box around the pixels that reach 3:1 (the icon's ink as the eye sees it).
ink_on_bar() {
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
best, strong, xs, ys = 1.0, 0, [], []
for line in sys.stdin:
    m = re.match(r"(\d+),(\d+):.*#([0-9A-Fa-f]{6})", line)
    if not m: continue
    h = m.group(3)
    l = lum(int(h[0:2], 16), int(h[2:4], 16), int(h[4:6], 16))
    ratio = (max(l, lb) + 0.05) / (min(l, lb) + 0.05)
    best = max(best, ratio)
    if ratio >= 3:
        strong += 1
        xs.append(int(m.group(1))); ys.append(int(m.group(2)))
width = max(xs) - min(xs) + 1 if xs else 0
height = max(ys) - min(ys) + 1 if ys else 0
print(f"{best:.1f} {strong} {width} {height}")' "$5"
}

contrast_on_bar() { ink_on_bar "$@" | cut -d' ' -f1-2; }

# bar_colour PNG X Y: the colour at X,Y, as #rrggbb.
bar_colour() {
  convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- | grep -o '#[0-9A-Fa-f]\{6\}' | head -1
}
