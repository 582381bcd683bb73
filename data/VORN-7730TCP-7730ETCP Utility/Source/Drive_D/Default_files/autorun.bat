@echo off
rem Start-up of drive D: network driver and TCP/IP stack
AX8796.COM
SOCKETP.EXE
