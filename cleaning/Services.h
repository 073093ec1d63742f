#pragma once
// The worm's Windows service: stopping it through the Service Control Manager
// and deleting its registry keys so that it does not start again. Nothing here
// writes to the log or shows a message.
#include "cleaning/ProcessImage.h"

// Opens the service with full access (0xF003F; the manager too). With stop,
// asks it to stop and polls once a second while it reports STOP_PENDING, for
// at most kStopPollLimit polls; returns 1 when it reached SERVICE_STOPPED.
// Without stop, returns 1 when the service exists and can be opened.
// Returns 0 otherwise: no manager access, no such service, a failed request.
int StopServiceByName(const char* name, bool stop);

// Windows' service controller itself gives a service 30 seconds to answer a
// control; a service that is still stopping after as many one-second polls
// is taken as not stopped.
constexpr int kStopPollLimit = 30;

enum class ServiceStop {
  NotTheImages,  // no such service, no access, or its binary is another file
  Stopped,
  NotStopped,
};

// Opens the service `name` (with full access) and, only when the program its
// configuration starts is the image's file, asks it to stop as
// StopServiceByName does. The program is the configured command's
// executable: the quoted text, or else the text up to a blank as the system
// tries it, after environment references and a leading "\SystemRoot\" are
// expanded.
ServiceStop StopServiceOfImage(const char* name, const ImageIdentity& image);

// Deletes the service's keys in each control set whose own entry starts the
// image's file: its ImagePath judged as StopServiceOfImage judges the
// configured command (a last-known-good set may still run another binary).
// The sets are SYSTEM\CurrentControlSet and every SYSTEM\ControlSetNNN; in
// each, the keys Enum and Security of Services\<name>, then the service key
// itself, under HKEY_LOCAL_MACHINE. A key that still has another subkey
// stays. Returns 1 when at least one deletion succeeded.
int DeleteServiceKeys(const char* name, const ImageIdentity& image);

// RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath); 1 on ERROR_SUCCESS, else 0.
int DeleteMachineKey(const char* keyPath);
