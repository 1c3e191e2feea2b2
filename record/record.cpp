// The recording screen's call, doing nothing until it is built.
#include "record/record.h"

Activity *RecordCreate(Activity *browser) { return nullptr; }
