// RecordingWindow is header-only; this unit keeps the library non-empty.
#include "RecordingWindow.h"
