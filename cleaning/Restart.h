#pragma once
// Restarts the computer so that files scheduled for deletion at restart go.
// Returns non-zero when the restart was started.
int RestartComputer();
