#!/usr/bin/env python3
"""Draws the program's images as SVG, renders them to PNG with rsvg-convert, and
synthesises the alarm sound. Everything in resources/ comes from this script."""
import math
import os
import struct
import subprocess
import wave

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources")
SRC = os.path.join(ROOT, "src")

TEAL = "#2b8482"
TEAL_DARK = "#18444c"
RED = "#b54560"
RED_DARK = "#911b42"
GREY = "#7d7d7d"
LIGHT = "#e6e6e6"
DARK = "#303030"
FONT = "font-family:'Liberation Sans','DejaVu Sans',sans-serif"


def svg(w, h, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{w}" height="{h}" '
            f'viewBox="0 0 {w} {h}">{body}</svg>\n')


def text(x, y, size, content, fill=LIGHT, weight="bold", anchor="start", extra=""):
    return (f'<text x="{x}" y="{y}" style="{FONT};font-size:{size}px;font-weight:{weight}" '
            f'fill="{fill}" text-anchor="{anchor}" {extra}>{content}</text>')


def kestrel_mark(cx, cy, r, fg=LIGHT, bg=TEAL):
    # A stylised wing over a probe line: the product family's mark.
    s = r / 32.0
    return (f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{bg}"/>'
            f'<path d="M{cx - 20*s},{cy + 6*s} Q{cx - 4*s},{cy - 22*s} {cx + 22*s},{cy - 14*s} '
            f'Q{cx + 4*s},{cy - 6*s} {cx + 2*s},{cy + 10*s} Z" fill="{fg}"/>'
            f'<rect x="{cx - 2*s}" y="{cy + 4*s}" width="{4*s}" height="{16*s}" rx="{2*s}" fill="{fg}"/>')


def gradient(gid, c1, c2, vertical=True):
    x2, y2 = ("0", "1") if vertical else ("1", "0")
    return (f'<defs><linearGradient id="{gid}" x1="0" y1="0" x2="{x2}" y2="{y2}">'
            f'<stop offset="0" stop-color="{c1}"/><stop offset="1" stop-color="{c2}"/>'
            f'</linearGradient></defs>')


def dot(colour, ring):
    return svg(16, 16, f'<circle cx="8" cy="8" r="7" fill="{ring}"/><circle cx="8" cy="8" r="5" fill="{colour}"/>')


def arrow_button(direction, colour):
    pts = "12,10 28,20 12,30" if direction == "right" else "28,10 12,20 28,30"
    return svg(40, 40, f'<rect x="1" y="1" width="38" height="38" rx="7" fill="{DARK}" stroke="{GREY}" stroke-width="2"/>'
                       f'<polygon points="{pts}" fill="{colour}"/>')


IMAGES = {
    "DashboardText": svg(99, 16, text(0, 13, 13, "DASHBOARD", LIGHT, extra='letter-spacing="1"')),
    "DeviceCh1": svg(60, 20, f'<rect width="60" height="20" rx="4" fill="#c03030"/>' + text(30, 15, 13, "CH 1", "#ffffff", anchor="middle")),
    "DeviceCh2": svg(60, 20, f'<rect width="60" height="20" rx="4" fill="#109a10"/>' + text(30, 15, 13, "CH 2", "#ffffff", anchor="middle")),
    "DeviceConnectedSymbol": dot("#3cd070", "#1d5c35"),
    "DeviceConnectingSymbol": dot("#4fd1c5", TEAL_DARK),
    "DeviceDisconnectedSymbol": dot("#9a9a9a", "#4a4a4a"),
    "DeviceImg": svg(32, 32, f'<rect x="6" y="2" width="20" height="28" rx="4" fill="{GREY}"/>'
                             f'<rect x="9" y="6" width="14" height="9" rx="1" fill="{TEAL_DARK}"/>'
                             f'<circle cx="16" cy="23" r="3" fill="{LIGHT}"/>'),
    "I_2": svg(64, 64, kestrel_mark(32, 32, 30)),
    "KestrelixLogo": svg(110, 22, kestrel_mark(11, 11, 10) + text(25, 16, 13, "KESTRELIX", DARK)),
    "KestrelixSymbol": svg(64, 64, kestrel_mark(32, 32, 30)),
    "KestrelixSymbol2": svg(24, 24, kestrel_mark(12, 12, 11)),
    "LoadingLite": svg(600, 300, gradient("g", "#595959", DARK) +
                       '<rect width="600" height="300" fill="url(#g)"/>' +
                       kestrel_mark(110, 130, 60) +
                       text(200, 140, 48, "Velmoran", LIGHT) + text(420, 140, 48, "Lite", "#4fd1c5", weight="normal") +
                       text(202, 175, 16, "temperature and humidity recording", "#bdbdbd", weight="normal")),
    "RecordButton": svg(48, 48, f'<circle cx="24" cy="24" r="22" fill="{DARK}" stroke="{GREY}" stroke-width="2"/>'
                                '<circle cx="24" cy="24" r="11" fill="#e04040"/>'),
    "RecordStopButton": svg(48, 48, f'<circle cx="24" cy="24" r="22" fill="{DARK}" stroke="{GREY}" stroke-width="2"/>'
                                    '<rect x="15" y="15" width="18" height="18" rx="2" fill="#e6e6e6"/>'),
    "StateReady": svg(80, 20, f'<rect width="80" height="20" rx="10" fill="{TEAL_DARK}"/>' +
                      '<circle cx="12" cy="10" r="5" fill="#3cd070"/>' + text(48, 15, 12, "READY", LIGHT, anchor="middle")),
    "StateRecording": svg(80, 20, f'<rect width="80" height="20" rx="10" fill="{RED_DARK}"/>' +
                          '<circle cx="12" cy="10" r="5" fill="#ff5050"/>' + text(48, 15, 12, "REC", LIGHT, anchor="middle")),
    "VelmoranLogoLite": svg(170, 26, kestrel_mark(13, 13, 12) + text(31, 19, 17, "Velmoran", DARK) +
                            text(112, 19, 17, "Lite", "#145250", weight="normal")),
    "btn_addDevice": arrow_button("right", "#4fd1c5"),
    "btn_removeDevice": arrow_button("left", RED),
    "btn_createProject": svg(40, 40, f'<rect x="1" y="1" width="38" height="38" rx="7" fill="{DARK}" stroke="{GREY}" stroke-width="2"/>'
                                     '<polyline points="10,21 17,28 30,12" fill="none" stroke="#3cd070" stroke-width="4" stroke-linecap="round" stroke-linejoin="round"/>'),
    "btn_interval": svg(40, 40, f'<rect x="1" y="1" width="38" height="38" rx="7" fill="{DARK}" stroke="{GREY}" stroke-width="2"/>'
                                f'<circle cx="20" cy="20" r="12" fill="none" stroke="{LIGHT}" stroke-width="2.5"/>'
                                f'<polyline points="20,12 20,20 26,24" fill="none" stroke="{LIGHT}" stroke-width="2.5" stroke-linecap="round"/>'),
    "icon_lan": svg(24, 24, f'<rect x="9" y="2" width="6" height="5" fill="{TEAL}"/><rect x="2" y="17" width="6" height="5" fill="{TEAL}"/>'
                            f'<rect x="16" y="17" width="6" height="5" fill="{TEAL}"/>'
                            f'<path d="M12,7 V12 M5,17 V12 H19 V17" fill="none" stroke="{LIGHT}" stroke-width="2"/>'),
    "icon_usb": svg(24, 24, f'<path d="M12,2 V20 M12,8 L6,12 V14 M12,11 L18,8 V6" fill="none" stroke="{LIGHT}" stroke-width="2"/>'
                            f'<circle cx="12" cy="20" r="3" fill="{TEAL}"/><rect x="16" y="3" width="4" height="4" fill="{TEAL}"/>'
                            f'<circle cx="6" cy="15" r="2" fill="{TEAL}"/>'),
    "velmoran_lite": svg(720, 326, gradient("g", "#595959", DARK) +
                         '<rect width="720" height="326" fill="url(#g)"/>' + kestrel_mark(140, 150, 80) +
                         text(260, 145, 56, "Velmoran", LIGHT) + text(512, 145, 56, "Lite", "#4fd1c5", weight="normal") +
                         text(262, 190, 18, "records every sample of your Kestrelix loggers", "#bdbdbd", weight="normal") +
                         ''.join(f'<rect x="{262 + i*28}" y="{250 - h}" width="18" height="{h}" fill="{TEAL if i % 5 else RED}"/>'
                                 for i, h in enumerate([30, 42, 38, 55, 70, 48, 40, 52, 61, 44, 36, 58, 47]))),
}


def write_images():
    os.makedirs(SRC, exist_ok=True)
    for name, content in IMAGES.items():
        path = os.path.join(SRC, name + ".svg")
        with open(path, "w") as f:
            f.write(content)
        subprocess.run(["rsvg-convert", "-o", os.path.join(ROOT, name + ".png"), path], check=True)


def write_sound():
    # Two alternating tones with short ramps, so the loop neither clicks nor jars.
    rate, seconds = 44100, 1.0
    frames = bytearray()
    n = int(rate * seconds)
    beep = int(rate * 0.125)
    ramp = int(rate * 0.004)
    for i in range(n):
        k = i % beep
        freq = 880.0 if (i // beep) % 2 == 0 else 660.0
        env = min(1.0, k / ramp, (beep - 1 - k) / ramp)
        s = int(0.45 * 32767 * env * math.sin(2 * math.pi * freq * i / rate))
        frames += struct.pack("<hh", s, s)
    with wave.open(os.path.join(ROOT, "critical.wav"), "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(frames))


if __name__ == "__main__":
    write_images()
    write_sound()
