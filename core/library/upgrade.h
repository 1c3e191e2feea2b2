// core/library/upgrade.h: the firmware upgrade from a package that a
// computer copied onto the internal card ("/mnt/emmc/<device>up").
//
// The package is a 32-byte header (the magic "blup", a version text
// "v5.8", the MD5 of the rest) and a gzip-compressed tar archive holding a
// folder "upgrade" with the script "<device>sh.sh" and/or the configuration
// "<device>xml.xml", and optionally a file "reboot".
//
// Safety: the whole package is verified before anything is replaced; the
// archive is unpacked beside the last upgrade folder ("/home/upgrade.new")
// and switched into place only once the unpack succeeded; the package stays
// on the card until its script and configuration have been applied, so a
// power cut means the next start does the upgrade again from the start. A
// rejected package is removed, so it is not tried at every start, and the
// user hears why. Runs on the thread that calls it (the key distribution
// thread, or the main thread at start-up) and waits for its prompts.
#pragma once

// Version value of the 12-byte version text: "v" or "V", the major digits,
// ".", the minor digits, blanks anywhere ignored; major * 256 + minor.
// Returns -1 for any other text.
int GetUpdateFileVersion(const char *text, int length);

// Verifies the package at path (a fixed path of the system) and copies its
// archive to "/home/tmp.tar.gz". Returns 0 valid, -1 unreadable or
// malformed (size outside 33 .. 32 MiB - 1, magic, version text), -2 the
// temporary file cannot be written, -3 the digest does not match (a
// damaged or truncated body), -4 the version is below minimum. The
// temporary file exists only after 0.
int CheckUpgrade(const char *path, int minimum);

// The whole upgrade with the package of this device, when there is one.
// Returns 0 without a package, 1 after a done upgrade, else the negative
// result of the step that refused it.
int UpGrage(int minimum);
