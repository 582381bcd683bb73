#!/usr/bin/env python3
"""Writes the stand-in controller programs shipped in data/.

Each is a tiny DOS .COM image (DOS runs a .COM image under an .EXE name as
such): it prints one line saying it is a stand-in and exits, so nothing
breaks if one reaches a real controller. The virtual controller recognises
the real programs' names; the utility recognises a stand-in by this code and
its ": stand-in for the" text, and sends one only to the virtual controller.
Run this again only to change the texts.
"""
import os
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")
COMPANION = "VORN-7730TCP-7730ETCP Utility"

FILES = {
    ("program", "KAPRINRD.EXE"): "image backup",
    ("program", "KAPRINWR.EXE"): "image restore",
    ("Source", "Drive_D", "Default_files", "AX8796.COM"): "network driver",
    ("Source", "Drive_D", "Default_files", "CFGIO.EXE"): "I/O configuration tool",
    ("Source", "Drive_D", "Default_files", "SOCKETP.EXE"): "TCP/IP stack",
    ("Source", "Drive_D", "Extension_files", "WebRoot", "httpftpd.exe"): "HTTP and FTP server",
    ("Source", "Drive_D", "Extension_files", "WebRoot", "ftpd.exe"): "FTP server",
    ("Source", "Drive_D", "Extension_files", "WebRoot", "httpd.exe"): "HTTP server",
}


def com_image(text: str) -> bytes:
    message = text.encode("ascii") + b"\r\n$"
    # mov dx,msg / mov ah,9 / int 21h / mov ax,4C00h / int 21h; msg follows at 100h+12.
    code = bytes([0xBA, 0x0C, 0x01, 0xB4, 0x09, 0xCD, 0x21, 0xB8, 0x00, 0x4C, 0xCD, 0x21])
    return code + message


def main() -> int:
    for parts, role in FILES.items():
        path = os.path.join(ROOT, COMPANION, *parts)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        name = parts[-1]
        with open(path, "wb") as f:
            f.write(com_image(f"{name}: stand-in for the {role}, does nothing."))
    return 0


if __name__ == "__main__":
    sys.exit(main())
