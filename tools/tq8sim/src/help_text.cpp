#include "cli_options.h"

namespace tq8sim {

std::string HelpText() {
    const Options defaults;
    std::string text = R"(Usage: tq8sim [OPTIONS]

The simulated Kovra TQ VIII in bootloader mode. Without --device it creates a
pseudo-terminal, prints the slave path as the first line of standard output, and
serves it until SIGINT or SIGTERM. Point the host at that path.

Line and files:
  --device PATH            serve this device (a real port, a socat end) instead of a pty
  --link PATH              also make a symbolic link PATH to the pty (removed at exit),
                           e.g. $WINEPREFIX/dosdevices/com3
  --rate N                 the machine's line rate at start (default 9600)
  --pace                   delay every byte by its wire time, 10 bit times at the current rate;
                           the time is kept on the line's own clock: when an answer leaves
                           late (a busy system), the host's reply is dated back by as much,
                           and the pty's own typical round trip is not counted either
  --state FILE             keep variables and application state in FILE across runs
  --transcript FILE        append one line per frame seen and answered to FILE
  -v, --verbose            also print the transcript on standard error
  --var ID=VALUE           set a variable at start (after the state file is read)
  --app-state N            set the application state at start (0..255)
  -h, --help               this text

Timings (the machine's own choice; the host relies only on its time limits):
  --erase-ms-per-kib MS    erase time per started KiB of a download range (default )" +
                       std::to_string(defaults.eraseMsPerKiB) + R"()
  --program-us-per-block US  programming time of one 32-byte block (default )" +
                       std::to_string(defaults.programUsPerBlock) + R"()
  --gap-ms MS              silent gap after which a started frame is dropped or the download
                           mode is left (default )" +
                       std::to_string(defaults.downloadGapMs) + R"(; below the host's 1200 ms
                           answer limit, so after a failed block the host's next command
                           is read as a command again)

Faults (CMD is a code 3..10, a name such as ReadVariable, or devtype / 20 for the
single-byte device-type query; COUNT is how many times, default every time):
  --nak CMD[:COUNT]        NAK instead of ACK to that command frame
  --silent CMD[:COUNT]     no answer at all to that command frame
  --wrong-byte CMD=BYTE[:COUNT]  send BYTE instead of ACK to that command frame
  --kennung VAR=K          ReadVariable of VAR answers kennung K (the value still follows)
  --block-noack N          block N (0-based) of the download is not acknowledged
  --block-byte N=BYTE      block N of the download is answered with BYTE
  --trailer-nak            the download's trailer is answered with NAK
  --erase-nak              the download's start request is answered with NAK (no erase)
  --erase-silent           the download's start request gets no answer (no erase, and
                           what follows is read as commands)
  --vanish-after N         the device disappears 100 ms after acknowledging block N of the
                           download (the pty is closed and the program exits with 3)
  --in-download N          the download faults after it (the six above and --slow-erase)
                           hit download N of the run: 1 is the first start request
                           (command 7 with its 12 bytes, a refused one included), 2 the
                           next. Without it they hit the first download; a later
                           --in-download aims the ones after it anew. The text image of
                           an update refused: --in-download 2 --erase-nak
  --checksum-mismatch AREA the checksum report of AREA (0..2) has calculated = saved + 1
  --refuse-rate            every rate switch is answered with NAK
  --slow-erase MS          every erase takes MS longer (above 10000 the host gives up);
                           after --in-download N only that download's erase
  --stray HEXBYTES         send these bytes (e.g. "41 42") just before the next answer

What the machine answers:
  Frame 11 HH LL: ACK for the codes 3..10, then the command's exchange; NAK for any
  other code. A frame whose bytes stop for the gap time is dropped without answer.
  Bytes outside a frame are ignored (transcript line STRAY).
  3 InitEEPROM: ACK; changes nothing.
  4 ReadVariable: kennung 2 and the value for a known variable; kennung 3 and value 0
    for an unknown id.
  5 WriteVariable: ACK, and the id becomes known, for ids 0..999; NAK for ids 1000 and
    above (the machine's own data such as 2384 and 2398).
  6 SetApplicationActive: ACK when the guard is 5D2E91C4 and the state fits a byte,
    else NAK.
  7 StartDownload: NAK on a wrong guard, a range that is reversed, not 32-byte aligned,
    outside the memory map, touching the bootloader or crossing two areas. Otherwise the
    range is erased (0xFF) for the erase time, then ACK, then download mode. Bytes that
    come from the host while it erases mean the host gave up waiting: no ACK is sent and
    they are read as commands.
  Download mode: (end - start + 1) / 32 blocks of 32 bytes, each ANDed into flash (bits
    can only be cleared) and acknowledged after the programming time; then XOR byte and
    32-bit sum (big-endian): ACK when both match the data received, else NAK. Only an
    acknowledged trailer records the download for the checksum report. A block that is
    not acknowledged ends the download mode at once.
  8 GetApplicationActive: the state byte.
  9 SetBaudRate: ACK at the old rate, then the machine uses the new one; NAK for a rate
    other than 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 or 230400.
  10 GetCheckSum: start, end, saved and calculated sums (16 bytes, no ACK before them).
    Area 0 bootloader 0x00000-0x03FFF: the whole area, saved = calculated.
    Area 1 application 0x04000-0x7FFFF, area 2 display texts 0x80000-0x9FFFF: the range
    of the last accepted download, saved = its trailer sum, calculated = the byte sum of
    that range now. An area never loaded reports the whole area with saved = 0.
    Any other area: no answer (a short answer would linger in the host's queue).
  Byte 14 (device type): ACK followed by the word 0001.

Machine at start: variable 0 = 102 (version 1.02), 2384 = 5 (build), 2398 = 4711
(serial number), 60, 61, 62 = 0xFFFF (never written); application state 2. The
bootloader area holds fixed content. Flash contents are not kept across runs.

Line rate: on a pty the machine reads the rate the host set on the slave. When it
differs from the machine's own, every byte either way is garbled into a byte with the
top bit set (never ACK, NAK or a frame start). While the host has the port closed
(EIO on the pty) the machine waits and goes on when it is opened again.

State file: text lines "application_state=N" and "variable.ID=VALUE" (unsigned), '#'
comments; rewritten through a temporary file on every change.

Transcript lines: "CMD 4 ReadVariable id=62 -> ACK kennung=2 value=5",
"DL start=0x00004000 end=0x0003ffff -> ACK erase=240ms" (or "-> NAK reason=...",
"-> SILENT"), "BLOCK 17 addr=0x00004220 -> ACK",
"TRAILER xor=0x5a sum=0x0012ab34 -> ACK", "RATE 38400 -> ACK", "NAK cmd=4",
"CHECKSUM area=1 start=... end=... saved=... calc=...", "STRAY 0x41", "VANISH after block 3".
)";
    return text;
}

}  // namespace tq8sim
