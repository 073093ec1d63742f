#pragma once
// Schedules a file that stays locked for deletion at the next restart: the
// delayed-move list on the NT line, wininit.ini on the 9x line. Returns 1
// when the deletion has been scheduled, 0 otherwise.
int ScheduleDeleteAtRestart(const char* path);
