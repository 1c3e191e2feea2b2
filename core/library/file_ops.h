// core/library/file_ops.h: the file commands of the browser's system menu:
// copy and cut marks, paste, send to the other storage device, delete. The
// copying and deleting run on a worker dialog's thread; see file_ops.cpp.
#pragma once

// Menu commands of the system menu; context is the browser screen. Return
// 0, -1 when refused (the error is spoken).
int MenuCopyFile(void *context, int value, int preview);
int MenuCutFile(void *context, int value, int preview);
int MenuPasteFile(void *context, int value, int preview);
int MenuDeleteFile(void *context, int value, int preview);
int MenuSendTo(void *context, int value, int preview);

// At start-up, before the browser lists anything: a copy that a power cut
// stopped is removed (its hidden partial copy), or a move whose copy had
// been completed is finished (its source removed). Returns 1 when it
// cleaned up, 0 when there was nothing to do, -1 when a removal failed.
int FileOpsRecover(void);
