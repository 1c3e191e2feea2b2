// record/record.h: the recording screen as the file browser opens it with
// the RECORD key. Not built yet.
#pragma once

struct Activity;

// The recording screen stacked over browser, or null while there is none
// (the browser then speaks its entry again).
Activity *RecordCreate(Activity *browser);
