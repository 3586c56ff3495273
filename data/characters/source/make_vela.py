#!/usr/bin/env python3
"""Builds vela.acs, the default character: Vela, a round friendly owl.

The frames are composed from a few parts (body, face, eyes, wings, props)
drawn in the character's 128 x 128 units; run this script again after
changing it:  python3 make_vela.py > ../vela.acs
"""
import math

W = H = 128
OUT = "#4a2b18"      # outline
BODY_HI = "#d69a5c"
BODY = "#b8743f"
BODY_SH = "#8c5230"
WING = "#95582f"
WING_HI = "#b26c3b"
BELLY = "#f7e8ca"
BELLY_MARK = "#ddbf8e"
DISC = "#f5e2bf"
DISC_RIM = "#a7693a"
IRIS = "#f4b326"
IRIS_RING = "#c9820f"
PUPIL = "#2a1a10"
BEAK = "#f39c33"
BEAK_SH = "#c96f16"
MOUTH_IN = "#5c2418"
FEET = "#f0a03c"
BLUSH = "#f08a7a"

EYE_L = (48.5, 57.0)
EYE_R = (79.5, 57.0)
EYE_R_ = 14.0
SHOULDER_L = (30.5, 65.0)
SHOULDER_R = (97.5, 65.0)


def f(x):
    s = ("%.2f" % x).rstrip("0").rstrip(".")
    return "0" if s == "-0" else s


DEFS = f"""
<radialGradient id="gBody" cx="0.38" cy="0.3" r="0.75">
  <stop offset="0" stop-color="{BODY_HI}"/><stop offset="0.55" stop-color="{BODY}"/><stop offset="1" stop-color="{BODY_SH}"/>
</radialGradient>
<radialGradient id="gBelly" cx="0.5" cy="0.35" r="0.7">
  <stop offset="0" stop-color="#fff8e6"/><stop offset="1" stop-color="{BELLY}"/>
</radialGradient>
<radialGradient id="gDisc" cx="0.5" cy="0.45" r="0.6">
  <stop offset="0" stop-color="#fff6e2"/><stop offset="1" stop-color="{DISC}"/>
</radialGradient>
<radialGradient id="gIris" cx="0.4" cy="0.35" r="0.7">
  <stop offset="0" stop-color="#ffd862"/><stop offset="1" stop-color="{IRIS}"/>
</radialGradient>
<linearGradient id="gWing" x1="0" y1="0" x2="0" y2="1">
  <stop offset="0" stop-color="{WING_HI}"/><stop offset="1" stop-color="{WING}"/>
</linearGradient>
<radialGradient id="gBulb" cx="0.5" cy="0.4" r="0.6">
  <stop offset="0" stop-color="#fffbd0"/><stop offset="1" stop-color="#ffd83a"/>
</radialGradient>
<radialGradient id="gGlow" cx="0.5" cy="0.5" r="0.5">
  <stop offset="0" stop-color="#fff3a0" stop-opacity="0.8"/><stop offset="1" stop-color="#fff3a0" stop-opacity="0"/>
</radialGradient>
<g id="shadow"><ellipse cx="64" cy="120.5" rx="31" ry="4.6" fill="#000000" fill-opacity="0.16"/></g>
<g id="foot">
  <path d="M-7,0 C-8,4 -5,6 -3,3 C-2,7 2,7 3,3 C5,6 8,4 7,0 C5,-3 -5,-3 -7,0 Z" fill="{FEET}" stroke="{OUT}" stroke-width="1.2" stroke-linejoin="round"/>
</g>
<g id="body">
  <path d="M64,27 C90,27 104,47 104,74 C104,101 88,118 64,118 C40,118 24,101 24,74 C24,47 38,27 64,27 Z" fill="url(#gBody)" stroke="{OUT}" stroke-width="1.8"/>
  <path d="M64,60 C82,60 92,76 91,92 C90,107 79,114 64,114 C49,114 38,107 37,92 C36,76 46,60 64,60 Z" fill="url(#gBelly)"/>
  <ellipse cx="50" cy="37" rx="13" ry="6" fill="#ffffff" fill-opacity="0.18" transform="rotate(-18,50,37)"/>
  <path d="M58,33 l3,3 l3,-3 M64,33 l3,3 l3,-3 M61,28.5 l3,3 l3,-3" fill="none" stroke="{BODY_SH}" stroke-width="1.3" stroke-linecap="round" stroke-linejoin="round" stroke-opacity="0.8"/>
  <path d="M30,84 q2,4 5,5 M28,94 q2,4 5,5 M98,84 q-2,4 -5,5 M100,94 q-2,4 -5,5" fill="none" stroke="{BODY_SH}" stroke-width="1.3" stroke-linecap="round" stroke-opacity="0.7"/>
  <g fill="none" stroke="{BELLY_MARK}" stroke-width="1.6" stroke-linecap="round">
    <path d="M52,82 q3,3 6,0 M64,82 q3,3 6,0 M58,91 q3,3 6,0 M70,91 q3,3 6,0 M46,91 q3,3 6,0 M52,100 q3,3 6,0 M64,100 q3,3 6,0"/>
  </g>
</g>
<g id="tuftL"><path d="M35,41 C31,33 29,25 27,18 C36,21 44,27 49,33 Z" fill="{BODY}" stroke="{OUT}" stroke-width="1.6" stroke-linejoin="round"/></g>
<g id="tuftR"><path d="M93,41 C97,33 99,25 101,18 C92,21 84,27 79,33 Z" fill="{BODY}" stroke="{OUT}" stroke-width="1.6" stroke-linejoin="round"/></g>
<g id="tuftLup"><path d="M36,40 C33,30 32,20 32,11 C40,17 46,25 50,33 Z" fill="{BODY}" stroke="{OUT}" stroke-width="1.6" stroke-linejoin="round"/></g>
<g id="tuftRup"><path d="M92,40 C95,30 96,20 96,11 C88,17 82,25 78,33 Z" fill="{BODY}" stroke="{OUT}" stroke-width="1.6" stroke-linejoin="round"/></g>
<g id="disc">
  <path d="M64,45 C60,38 51,37 45,38 C33,40 29,51 30,59 C31,69 39,75 49,75 C56,75 61,72 64,67 C67,72 72,75 79,75 C89,75 97,69 98,59 C99,51 95,40 83,38 C77,37 68,38 64,45 Z" fill="url(#gDisc)" stroke="{DISC_RIM}" stroke-width="1.4"/>
</g>
<g id="eyeWhite"><circle cx="0" cy="0" r="{f(EYE_R_)}" fill="#ffffff" stroke="{OUT}" stroke-width="1.5"/></g>
<g id="irisPupil">
  <circle cx="0" cy="0" r="9.2" fill="url(#gIris)" stroke="{IRIS_RING}" stroke-width="1.3"/>
  <circle cx="0" cy="0" r="5.7" fill="{PUPIL}"/>
  <circle cx="-2.4" cy="-2.7" r="2.1" fill="#ffffff"/>
  <circle cx="2.2" cy="2" r="0.95" fill="#ffffff"/>
</g>
<g id="irisSmall">
  <circle cx="0" cy="0" r="6.2" fill="url(#gIris)" stroke="{IRIS_RING}" stroke-width="1.2"/>
  <circle cx="0" cy="0" r="3.2" fill="{PUPIL}"/>
  <circle cx="-1.8" cy="-2" r="1.5" fill="#ffffff"/>
</g>
<g id="wing">
  <path d="M0,0 C-9,3 -14,16 -13,28 C-12,36 -8,41 -4,42 C-2,36 2,24 5,12 C6,6 4,1 0,0 Z" fill="url(#gWing)" stroke="{OUT}" stroke-width="1.6" stroke-linejoin="round"/>
  <path d="M-9,22 q2,5 5,7 M-6,14 q2,5 5,6" fill="none" stroke="{BODY_SH}" stroke-width="1.3" stroke-linecap="round"/>
</g>
<g id="blush">
  <ellipse cx="38" cy="72" rx="5.5" ry="3" fill="{BLUSH}" fill-opacity="0.38"/>
  <ellipse cx="90" cy="72" rx="5.5" ry="3" fill="{BLUSH}" fill-opacity="0.38"/>
</g>
<g id="book">
  <path d="M-24,-2 L0,2 L24,-2 L24,16 L0,20 L-24,16 Z" fill="#3d6db3" stroke="{OUT}" stroke-width="1.5" stroke-linejoin="round"/>
  <path d="M-22,-4 C-14,-7 -6,-6 0,-1 L0,17 C-6,12 -14,11 -22,14 Z" fill="#fffdf4" stroke="{OUT}" stroke-width="1.3" stroke-linejoin="round"/>
  <path d="M22,-4 C14,-7 6,-6 0,-1 L0,17 C6,12 14,11 22,14 Z" fill="#fffdf4" stroke="{OUT}" stroke-width="1.3" stroke-linejoin="round"/>
  <path d="M-18,0 q8,-2 14,1 M-18,4 q8,-2 14,1 M-18,8 q8,-2 14,1 M4,1 q6,-3 14,-1 M4,5 q6,-3 14,-1 M4,9 q6,-3 14,-1" fill="none" stroke="#9aa3b5" stroke-width="1" stroke-linecap="round"/>
</g>
<g id="bookPage">
  <path d="M0,-1 C6,-9 14,-9 20,-7 L18,11 C12,9 6,10 0,17 Z" fill="#fffdf4" stroke="{OUT}" stroke-width="1.2" stroke-linejoin="round"/>
</g>
<g id="envelope">
  <rect x="-14" y="-9" width="28" height="19" rx="2" fill="#ffffff" stroke="{OUT}" stroke-width="1.5"/>
  <path d="M-14,-8 L0,3 L14,-8" fill="none" stroke="{OUT}" stroke-width="1.4" stroke-linejoin="round"/>
  <path d="M-14,9 L-4,1 M14,9 L4,1" fill="none" stroke="#b9b9c8" stroke-width="1.1"/>
  <circle cx="0" cy="3" r="3.2" fill="#e0453a" stroke="{OUT}" stroke-width="0.9"/>
</g>
<g id="bulb">
  <circle cx="0" cy="0" r="17" fill="url(#gGlow)"/>
  <path d="M0,-11 C7,-11 11,-6 11,0 C11,5 7,7 5,10 L-5,10 C-7,7 -11,5 -11,0 C-11,-6 -7,-11 0,-11 Z" fill="url(#gBulb)" stroke="{OUT}" stroke-width="1.4"/>
  <path d="M-3,9 L-2,2 L0,5 L2,2 L3,9" fill="none" stroke="#c99a1c" stroke-width="1"/>
  <rect x="-5" y="10" width="10" height="6" rx="1.5" fill="#9aa0ad" stroke="{OUT}" stroke-width="1.2"/>
  <path d="M-5,13 L5,13" stroke="{OUT}" stroke-width="0.9"/>
  <path d="M0,-16 L0,-21 M12,-11 L16,-15 M-12,-11 L-16,-15 M15,0 L20,0 M-15,0 L-20,0" stroke="#f2c21b" stroke-width="2" stroke-linecap="round"/>
</g>
<g id="exclaim">
  <path d="M-3.5,-16 L3.5,-16 L2,4 L-2,4 Z" fill="#e8492f" stroke="{OUT}" stroke-width="1.3" stroke-linejoin="round"/>
  <circle cx="0" cy="10" r="3.2" fill="#e8492f" stroke="{OUT}" stroke-width="1.3"/>
</g>
<g id="question">
  <path d="M-7,-9 C-7,-17 7,-18 7,-9 C7,-3 1,-2 1,4 L-3,4 C-3,-4 3,-5 3,-9 C3,-13 -3,-13 -3,-9 Z" fill="#7a5cc9" stroke="{OUT}" stroke-width="1.3" stroke-linejoin="round"/>
  <circle cx="-1" cy="10" r="3" fill="#7a5cc9" stroke="{OUT}" stroke-width="1.3"/>
</g>
<g id="tear">
  <path d="M0,-5 C2,-1 4,2 4,4 C4,7 -4,7 -4,4 C-4,2 -2,-1 0,-5 Z" fill="#6ec3f2" stroke="#2e7fb5" stroke-width="1"/>
</g>
<g id="star">
  <path d="M0,-6 L1.8,-1.9 L6,-1.6 L2.8,1.2 L3.7,5.5 L0,3.2 L-3.7,5.5 L-2.8,1.2 L-6,-1.6 L-1.8,-1.9 Z" stroke="{OUT}" stroke-width="0.8" stroke-linejoin="round"/>
</g>
<g id="dot"><circle cx="0" cy="0" r="3" fill="#ffffff" stroke="{OUT}" stroke-width="1.2"/></g>
"""

MOUTHS = {
    # The beak, drawn where the frame puts "#mouth".
    "closed": f"""<path d="M57,66 C60,63.5 68,63.5 71,66 C69,71 66,75 64,77.5 C62,75 59,71 57,66 Z" fill="{BEAK}" stroke="{OUT}" stroke-width="1.4" stroke-linejoin="round"/>
<path d="M60,66.5 C62,65.3 65,65.3 67,66.3" fill="none" stroke="#ffd08a" stroke-width="1.2" stroke-linecap="round"/>""",
    "small": f"""<ellipse cx="64" cy="72.5" rx="4.2" ry="3.2" fill="{MOUTH_IN}"/>
<path d="M57,65 C60,62.5 68,62.5 71,65 C69,69 66,71.5 64,73 C62,71.5 59,69 57,65 Z" fill="{BEAK}" stroke="{OUT}" stroke-width="1.4" stroke-linejoin="round"/>
<path d="M60.5,73.5 C62.5,73 65.5,73 67.5,73.5 C66.5,76.5 65,78 64,78.6 C63,78 61.5,76.5 60.5,73.5 Z" fill="{BEAK_SH}" stroke="{OUT}" stroke-width="1.3" stroke-linejoin="round"/>""",
    "open": f"""<ellipse cx="64" cy="73.5" rx="5.2" ry="4.6" fill="{MOUTH_IN}"/>
<ellipse cx="64" cy="76" rx="2.8" ry="1.7" fill="#e0606a"/>
<path d="M56.5,64.5 C60,61.8 68,61.8 71.5,64.5 C69.5,68 66.2,70.4 64,71.6 C61.8,70.4 58.5,68 56.5,64.5 Z" fill="{BEAK}" stroke="{OUT}" stroke-width="1.4" stroke-linejoin="round"/>
<path d="M59.5,76 C62,75.2 66,75.2 68.5,76 C67.3,79.4 65.3,81 64,81.6 C62.7,81 60.7,79.4 59.5,76 Z" fill="{BEAK_SH}" stroke="{OUT}" stroke-width="1.3" stroke-linejoin="round"/>""",
    "wide": f"""<ellipse cx="64" cy="74.5" rx="6.2" ry="6.4" fill="{MOUTH_IN}"/>
<ellipse cx="64" cy="78" rx="3.4" ry="2.2" fill="#e0606a"/>
<path d="M56,64 C60,61 68,61 72,64 C70,67.4 66.4,69.6 64,70.6 C61.6,69.6 58,67.4 56,64 Z" fill="{BEAK}" stroke="{OUT}" stroke-width="1.4" stroke-linejoin="round"/>
<path d="M59,78.5 C62,77.6 66,77.6 69,78.5 C67.7,82.2 65.4,84 64,84.6 C62.6,84 60.3,82.2 59,78.5 Z" fill="{BEAK_SH}" stroke="{OUT}" stroke-width="1.3" stroke-linejoin="round"/>""",
    "round": f"""<ellipse cx="64" cy="74" rx="4.2" ry="5" fill="{MOUTH_IN}"/>
<path d="M57.5,64.5 C60.5,62 67.5,62 70.5,64.5 C68.8,67.8 66,70 64,71 C62,70 59.2,67.8 57.5,64.5 Z" fill="{BEAK}" stroke="{OUT}" stroke-width="1.4" stroke-linejoin="round"/>
<path d="M60.5,77.5 C62.5,77 65.5,77 67.5,77.5 C66.5,80.2 65,81.6 64,82 C63,81.6 61.5,80.2 60.5,77.5 Z" fill="{BEAK_SH}" stroke="{OUT}" stroke-width="1.3" stroke-linejoin="round"/>""",
}


def lid_path(cx, cy, r, cover, slant=0.0):
    """A lid over the top of an eye down to `cover` (0 open .. 1 shut).
    slant tilts the lid's edge (positive: the edge drops to the right)."""
    if cover <= 0:
        return ""
    y = cy - r + 2 * r * cover
    d = y - cy
    d = max(-r + 0.5, min(r - 0.5, d))
    w = math.sqrt(r * r - d * d)
    y1 = cy + d - slant
    y2 = cy + d + slant
    return (f'<path d="M{f(cx - w - 0.6)},{f(y1)} A{f(r + 0.6)},{f(r + 0.6)} 0 {1 if d > 0 else 0} 1 {f(cx + w + 0.6)},{f(y2)} '
            f'Q{f(cx)},{f(cy + d + 2.2)} {f(cx - w - 0.6)},{f(y1)} Z" fill="{BODY}" stroke="{OUT}" stroke-width="1.5" stroke-linejoin="round"/>')


def eye(cx, cy, kind, look, slant=0.0):
    lx, ly = look
    if kind == "closed":
        return (f'<circle cx="{f(cx)}" cy="{f(cy)}" r="{f(EYE_R_)}" fill="{BODY}" stroke="{OUT}" stroke-width="1.5"/>'
                f'<path d="M{f(cx - 9)},{f(cy + 1)} Q{f(cx)},{f(cy + 7)} {f(cx + 9)},{f(cy + 1)}" fill="none" stroke="{OUT}" stroke-width="2" stroke-linecap="round"/>')
    if kind == "happy":
        return (f'<path d="M{f(cx - 9)},{f(cy + 3)} Q{f(cx)},{f(cy - 8)} {f(cx + 9)},{f(cy + 3)}" fill="none" stroke="{OUT}" stroke-width="3" stroke-linecap="round"/>')
    out = f'<use xlink:href="#eyeWhite" transform="translate({f(cx)},{f(cy)})"/>'
    if kind == "wide":
        out = f'<use xlink:href="#eyeWhite" transform="translate({f(cx)},{f(cy)}) scale(1.1)"/>'
        out += f'<use xlink:href="#irisSmall" transform="translate({f(cx + lx)},{f(cy + ly)})"/>'
        return out
    out += f'<use xlink:href="#irisPupil" transform="translate({f(cx + lx)},{f(cy + ly)})"/>'
    cover = {"open": 0.0, "half": 0.5, "blink": 0.8, "sleepy": 0.62, "sad": 0.3}.get(kind, 0.0)
    out += lid_path(cx, cy, EYE_R_, cover, slant)
    return out


def brow(kind):
    if not kind:
        return ""
    s = f'fill="none" stroke="{OUT}" stroke-width="2.2" stroke-linecap="round"'
    lx, ly = EYE_L
    rx, ry = EYE_R
    if kind == "sad":
        return (f'<path d="M{f(lx - 9)},{f(ly - 15)} Q{f(lx)},{f(ly - 17)} {f(lx + 8)},{f(ly - 21)}" {s}/>'
                f'<path d="M{f(rx + 9)},{f(ry - 15)} Q{f(rx)},{f(ry - 17)} {f(rx - 8)},{f(ry - 21)}" {s}/>')
    if kind == "up":
        return (f'<path d="M{f(lx - 8)},{f(ly - 18)} Q{f(lx)},{f(ly - 24)} {f(lx + 8)},{f(ly - 19)}" {s}/>'
                f'<path d="M{f(rx - 8)},{f(ry - 19)} Q{f(rx)},{f(ry - 24)} {f(rx + 8)},{f(ry - 18)}" {s}/>')
    if kind == "raised":  # one brow up: puzzled
        return (f'<path d="M{f(lx - 8)},{f(ly - 15)} Q{f(lx)},{f(ly - 17)} {f(lx + 8)},{f(ly - 15)}" {s}/>'
                f'<path d="M{f(rx - 8)},{f(ry - 20)} Q{f(rx)},{f(ry - 26)} {f(rx + 8)},{f(ry - 20)}" {s}/>')
    if kind == "firm":
        return (f'<path d="M{f(lx - 8)},{f(ly - 19)} L{f(lx + 8)},{f(ly - 15)}" {s}/>'
                f'<path d="M{f(rx + 8)},{f(ry - 19)} L{f(rx - 8)},{f(ry - 15)}" {s}/>')
    return ""


def wing(side, angle):
    """side 'L' or 'R'; angle in degrees, 0 hanging along the body, 90 pointing
    out sideways, 180 straight up."""
    if side == "L":
        x, y = SHOULDER_L
        return f'<use xlink:href="#wing" transform="translate({f(x)},{f(y)}) rotate({f(angle)})"/>'
    x, y = SHOULDER_R
    return f'<use xlink:href="#wing" transform="translate({f(x)},{f(y)}) scale(-1,1) rotate({f(angle)})"/>'


def frame(eyes="open", look=(0, 0), wl=0, wr=0, tilt=0.0, squash=1.0, lift=0.0, brows=None, tufts="",
          blush=False, behind="", front="", over="", mouth=True, slant=0.0, wings_front=""):
    """One frame: the owl with the given face and wings, props behind, in front of
    the body and over everything."""
    parts = ['<use xlink:href="#shadow"/>']
    parts.append(f'<use xlink:href="#foot" transform="translate(53,117)"/>')
    parts.append(f'<use xlink:href="#foot" transform="translate(75,117)"/>')
    g = []
    if behind:
        g.append(behind)
    if "L" not in wings_front:
        g.append(wing("L", wl))
    if "R" not in wings_front:
        g.append(wing("R", wr))
    tl, tr = ("tuftLup", "tuftRup") if tufts == "up" else ("tuftL", "tuftR")
    g.append(f'<use xlink:href="#{tl}"/><use xlink:href="#{tr}"/>')
    g.append('<use xlink:href="#body"/>')
    g.append('<use xlink:href="#disc"/>')
    if blush:
        g.append('<use xlink:href="#blush"/>')
    g.append(eye(EYE_L[0], EYE_L[1], eyes, look, slant))
    g.append(eye(EYE_R[0], EYE_R[1], eyes, look, -slant))
    g.append(brow(brows))
    if mouth:
        g.append('<use xlink:href="#mouth"/>')
    if front:
        g.append(front)
    if "L" in wings_front:
        g.append(wing("L", wl))
    if "R" in wings_front:
        g.append(wing("R", wr))
    transform = []
    if lift:
        transform.append(f"translate(0,{f(-lift)})")
    if tilt:
        transform.append(f"rotate({f(tilt)},64,116)")
    if squash != 1.0:
        transform.append(f"translate(64,117) scale({f(2 - squash)},{f(squash)}) translate(-64,-117)")
    tr = f' transform="{" ".join(transform)}"' if transform else ""
    parts.append(f'<g{tr}>' + "".join(g) + "</g>")
    if over:
        parts.append(over)
    return "\n".join(parts)


def star(x, y, color, scale=1.0, rot=0):
    return f'<use xlink:href="#star" fill="{color}" transform="translate({f(x)},{f(y)}) rotate({f(rot)}) scale({f(scale)})"/>'


def at(ref, x, y, scale=1.0, rot=0.0):
    return f'<use xlink:href="#{ref}" transform="translate({f(x)},{f(y)}) rotate({f(rot)}) scale({f(scale)})"/>'


BOOK = at("book", 64, 88)
BOOK_TURN = at("book", 64, 88) + at("bookPage", 64, 88)

FRAMES = {}
MOUTH_OF = {}


def add(name, mouth_shape="closed", **kw):
    FRAMES[name] = frame(**kw)
    if mouth_shape != "closed":
        MOUTH_OF[name] = mouth_shape


# Rest and the face alone.
add("rest")
add("blinkHalf", eyes="blink")
add("blink", eyes="closed")
add("lookL", look=(-3.8, 0.5))
add("lookR", look=(3.8, 0.5))
add("lookU", look=(0, -3.8))
add("lookD", look=(0, 3.8))
add("lookUL", look=(-3, -3))
add("lookUR", look=(3, -3))
add("sleepy", eyes="sleepy", look=(0, 1))
add("yawn", "wide", eyes="closed", squash=1.03)
add("ruffle1", wl=18, wr=18, squash=1.04, tufts="up")
add("ruffle2", wl=6, wr=6, squash=0.97)
add("tiltL", tilt=-6, look=(-1.5, 0))
add("tiltR", tilt=6, look=(1.5, 0))
add("happy", eyes="happy", blush=True)
add("pleased1", eyes="happy", blush=True, wl=22, wr=22, lift=2)
add("pleased2", eyes="happy", blush=True, wl=30, wr=30, squash=0.96)

# Greeting and waving: the right wing (on the viewer's left) goes up.
add("wave1", wings_front="L", eyes="happy", blush=True, wl=120)
add("wave2", wings_front="L", eyes="happy", blush=True, wl=150)
add("wave3", wings_front="L", eyes="open", wl=128)
add("bow1", eyes="happy", blush=True, wl=20, wr=20, squash=0.9, lift=-1)
add("bow2", eyes="closed", blush=True, wl=26, wr=26, squash=0.86, tilt=0)

# Reading: a book held in front.
add("readUp", wl=40, wr=40, look=(0, 3), front=BOOK)
add("readL", look=(-3, 3.5), front=BOOK, wl=40, wr=40)
add("readR", look=(3, 3.5), front=BOOK, wl=40, wr=40)
add("readTurn", look=(3, 3), front=BOOK_TURN, wl=40, wr=48)
add("readBlink", eyes="blink", look=(0, 3), front=BOOK, wl=40, wr=40)

# Announcing: the letter held up high.
add("announce1", look=(0, 0), wr=100, over=at("envelope", 104, 47, 0.9, 10))
add("announce2", eyes="wide", wings_front="R", wr=150, tufts="up", over=at("envelope", 101, 24, 1.0, -8), mouth_shape="round")
add("announce3", eyes="happy", blush=True, wings_front="R", wr=150, over=at("envelope", 101, 24, 1.0, -8))

# Suggesting: an idea over the head.
add("suggest1", look=(1, -3), wings_front="R", wr=150, brows="up")
add("suggest2", look=(1, -3), wings_front="R", wr=160, brows="up", over=at("bulb", 64, 12, 0.8))
add("suggest3", eyes="happy", wings_front="R", wr=160, blush=True, over=at("bulb", 64, 12, 0.85))

# Sadness.
add("sad1", eyes="sad", look=(0, 3), brows="sad", wl=-6, wr=-6, squash=0.97, slant=3)
add("sad2", eyes="sad", look=(0, 3.5), brows="sad", wl=-8, wr=-8, squash=0.95, slant=3,
    over=at("tear", 84, 74))

# Getting attention: jump and flap.
add("attn1", eyes="wide", wl=120, wr=120, tufts="up", lift=6, mouth_shape="open", over=at("exclaim", 108, 26))
add("attn2", eyes="wide", wl=160, wr=160, tufts="up", lift=10, mouth_shape="open", over=at("exclaim", 108, 24))
add("attn3", eyes="open", wl=90, wr=90, squash=0.94, over=at("exclaim", 108, 28))

# Surprise.
add("surprised1", eyes="wide", wl=55, wr=55, tufts="up", mouth_shape="round", brows="up", lift=3)
add("surprised2", eyes="wide", wl=70, wr=70, tufts="up", mouth_shape="round", brows="up")

# Congratulations: wings up, stars.
STARS1 = star(20, 22, "#ffd23f", 1.1, 10) + star(108, 16, "#ff7bb0", 0.9, -15) + star(114, 52, "#7bd3ff", 0.8, 20)
STARS2 = star(14, 40, "#7bd3ff", 0.9, -5) + star(104, 28, "#ffd23f", 1.2, 25) + star(28, 10, "#ff7bb0", 0.8, 0) + star(118, 66, "#9be37a", 0.8, 12)
add("congrats1", eyes="happy", blush=True, wl=145, wr=145, lift=6, over=STARS1, mouth_shape="open")
add("congrats2", eyes="happy", blush=True, wl=165, wr=165, lift=2, over=STARS2, mouth_shape="open")

# Thinking: look up, wing to the chin, thought dots.
DOTS1 = at("dot", 100, 30, 0.7)
DOTS2 = DOTS1 + at("dot", 108, 20, 0.9)
DOTS3 = DOTS2 + at("dot", 115, 8, 1.15)
add("think1", look=(3, -3.5), wr=-75, wings_front="R", brows="raised")
add("think2", look=(3, -3.5), wr=-75, wings_front="R", brows="raised", over=DOTS1)
add("think3", look=(3, -3.5), wr=-75, wings_front="R", brows="raised", over=DOTS2)
add("think4", look=(2.5, -3.8), wr=-75, wings_front="R", brows="raised", over=DOTS3)
add("think5", eyes="half", look=(3, -2.5), wr=-75, wings_front="R", brows="raised", over=DOTS3)

# Explaining: a wing held out, open.
add("explain1", wl=70, look=(-1, 0))
add("explain2", wl=85, look=(-2, 0), brows="up")
add("explain3", wl=85, wr=40, look=(0, 0))

# Alarm.
add("alert1", eyes="wide", tufts="up", wl=40, wr=40, brows="up", lift=4, over=at("exclaim", 64, 10))
add("alert2", eyes="wide", tufts="up", wl=50, wr=50, brows="up", mouth_shape="small", over=at("exclaim", 64, 10))

# Confusion: head tilted, a question.
add("confused1", tilt=-7, look=(-2, -2), brows="raised", over=at("question", 104, 24))
add("confused2", tilt=-9, eyes="half", look=(-2, -2), brows="raised", over=at("question", 104, 22, 1.1, 10))

# Declining: eyes shut, head shaken.
add("declineL", eyes="closed", tilt=-6, brows="firm", wl=8, wr=8)
add("declineR", eyes="closed", tilt=6, brows="firm", wl=8, wr=8)

# Uncertain: a shrug.
add("shrug1", eyes="half", look=(-2, 0), wl=60, wr=60, brows="raised", squash=0.97)
add("shrug2", eyes="half", look=(2, 0), wl=70, wr=70, brows="raised", squash=0.96, tufts="up")

# Pointing with a wing (the viewer's left, right, up, down).
add("gestL", wl=88, look=(-3.8, 0))
add("gestR", wr=88, look=(3.8, 0))
add("gestU", wings_front="L", wl=160, look=(-1, -3.8))
add("gestD", wl=40, look=(-2, 3.8))
add("gestL2", wl=96, look=(-3.8, 0))
add("gestR2", wr=96, look=(3.8, 0))
add("gestU2", wings_front="L", wl=168, look=(-1, -3.8))
add("gestD2", wl=32, look=(-2, 3.8))

ANIMS = []


def anim(name, rows, loop=False):
    ANIMS.append((name, loop, rows))


def hold(fr, ms, **kw):
    return (fr, ms, kw)


anim("RestPose", [hold("rest", 100)])
anim("Show", [hold("rest", 40, scale=0.1, opacity=0), hold("rest", 40, scale=0.35, opacity=0.4),
              hold("rest", 40, scale=0.7, opacity=0.8), hold("happy", 60, scale=1.08),
              hold("happy", 60, scale=0.97), hold("happy", 120), hold("blink", 80), hold("rest", 60)])
anim("Hide", [hold("happy", 120), hold("happy", 50, scale=1.05), hold("rest", 40, scale=0.8, opacity=0.8),
              hold("rest", 40, scale=0.5, opacity=0.5), hold("rest", 40, scale=0.2, opacity=0.2),
              hold("rest", 30, scale=0.05, opacity=0)])
anim("Greet", [hold("wave1", 160), hold("wave2", 160), hold("wave1", 160), hold("wave2", 160),
               hold("bow1", 200), hold("bow2", 350), hold("bow1", 150), hold("happy", 250), hold("rest", 80)])
anim("Wave", [hold("wave3", 120), hold("wave1", 150), hold("wave2", 150), hold("wave1", 150),
              hold("wave2", 150), hold("wave1", 150), hold("wave3", 120), hold("rest", 80)])
anim("Read", [hold("readUp", 300), hold("readL", 350), hold("readR", 450), hold("readBlink", 100),
              hold("readL", 350), hold("readR", 450), hold("readTurn", 250), hold("readL", 300), hold("rest", 150)])
anim("Reading", [hold("readL", 400), hold("readR", 500), hold("readL", 400), hold("readBlink", 100),
                 hold("readR", 500), hold("readTurn", 250)], loop=True)
anim("Announce", [hold("announce1", 180), hold("announce2", 350), hold("announce3", 300),
                  hold("announce2", 200), hold("announce1", 150), hold("rest", 100)])
anim("Suggest", [hold("suggest1", 220), hold("suggest2", 350), hold("suggest3", 450),
                 hold("suggest2", 200), hold("rest", 120)])
anim("Sad", [hold("sad1", 300), hold("sad2", 700), hold("sad1", 300), hold("rest", 150)])
anim("GetAttention", [hold("attn3", 100), hold("attn1", 120), hold("attn2", 140), hold("attn1", 120),
                      hold("attn3", 100), hold("attn1", 120), hold("attn2", 140), hold("attn3", 150),
                      hold("rest", 100)])
anim("Pleased", [hold("happy", 150), hold("pleased1", 180), hold("pleased2", 180), hold("pleased1", 180),
                 hold("happy", 300), hold("rest", 100)])
anim("Surprised", [hold("surprised1", 150), hold("surprised2", 600), hold("surprised1", 200), hold("rest", 120)])
anim("Congratulate", [hold("congrats1", 200), hold("congrats2", 200), hold("congrats1", 200),
                      hold("congrats2", 200), hold("congrats1", 200), hold("happy", 300), hold("rest", 100)])
anim("Think", [hold("think1", 250), hold("think2", 250), hold("think3", 250), hold("think4", 500),
               hold("think5", 300), hold("think4", 300), hold("rest", 120)])
anim("Thinking", [hold("think2", 300), hold("think3", 300), hold("think4", 500), hold("think5", 300),
                  hold("think4", 300)], loop=True)
anim("Explain", [hold("explain1", 180), hold("explain2", 500), hold("explain3", 400), hold("explain2", 300),
                 hold("rest", 120)])
anim("Alert", [hold("alert1", 120), hold("alert2", 500), hold("alert1", 200), hold("rest", 120)])
anim("Confused", [hold("confused1", 300), hold("confused2", 600), hold("confused1", 300), hold("rest", 120)])
anim("Decline", [hold("declineL", 160), hold("declineR", 160), hold("declineL", 160), hold("declineR", 160),
                 hold("blink", 150), hold("rest", 100)])
anim("Uncertain", [hold("shrug1", 300), hold("shrug2", 500), hold("shrug1", 300), hold("rest", 120)])
anim("LookLeft", [hold("lookL", 900), hold("rest", 100)])
anim("LookRight", [hold("lookR", 900), hold("rest", 100)])
anim("LookUp", [hold("lookU", 900), hold("rest", 100)])
anim("LookDown", [hold("lookD", 900), hold("rest", 100)])
anim("GestureLeft", [hold("gestL", 200), hold("gestL2", 600), hold("gestL", 200), hold("rest", 120)])
anim("GestureRight", [hold("gestR", 200), hold("gestR2", 600), hold("gestR", 200), hold("rest", 120)])
anim("GestureUp", [hold("gestU", 200), hold("gestU2", 600), hold("gestU", 200), hold("rest", 120)])
anim("GestureDown", [hold("gestD", 200), hold("gestD2", 600), hold("gestD", 200), hold("rest", 120)])
anim("Idle1_1", [hold("blinkHalf", 50), hold("blink", 90), hold("blinkHalf", 50), hold("rest", 100)])
anim("Idle1_2", [hold("lookL", 700), hold("rest", 200), hold("lookR", 700), hold("blink", 90), hold("rest", 100)])
anim("Idle1_3", [hold("ruffle1", 100), hold("ruffle2", 100), hold("ruffle1", 100), hold("ruffle2", 100),
                 hold("rest", 100)])
anim("Idle1_4", [hold("tiltR", 600), hold("rest", 150), hold("tiltL", 600), hold("rest", 100)])
anim("Idle2_1", [hold("sleepy", 400), hold("yawn", 700), hold("sleepy", 300), hold("blink", 150),
                 hold("rest", 100)])
anim("Idle2_2", [hold("lookUL", 800), hold("lookUR", 800), hold("blink", 90), hold("rest", 100)])


def main():
    out = []
    out.append("ORVELLA CHARACTER 1")
    out.append("# Vela, the friendly owl: Orvella's own character. Made by make_vela.py in")
    out.append("# data/characters/source; the format is described in docs/character-format.md.")
    out.append("name Vela")
    out.append(f"size {W} {H}")
    out.append("speaking-mouths closed small open wide")
    out.append("")
    out.append("defs")
    out.extend(l for l in DEFS.strip().splitlines())
    out.append("end")
    for name, body in MOUTHS.items():
        out.append("")
        out.append(f"mouth {name}")
        out.extend(body.splitlines())
        out.append("end")
    for name, body in FRAMES.items():
        out.append("")
        opt = f" mouth={MOUTH_OF[name]}" if name in MOUTH_OF else ""
        out.append(f"frame {name}{opt}")
        out.extend(body.splitlines())
        out.append("end")
    for name, loop, rows in ANIMS:
        out.append("")
        out.append(f"animation {name}{' loop' if loop else ''}")
        for fr, ms, kw in rows:
            extra = "".join(f" {k}={f(v)}" for k, v in kw.items())
            out.append(f"  {fr} {ms}{extra}")
        out.append("end")
    print("\n".join(out))


if __name__ == "__main__":
    main()
