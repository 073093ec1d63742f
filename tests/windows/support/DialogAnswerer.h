#pragma once
// Plays the user at the message boxes that the code under test opens on this
// thread: a helper thread waits for each dialog of this process with the
// given caption, records its text and closes it with the next answer. While
// it lives, the scan's questions and notices go to the window's boxes
// (WindowPrompt), as in the program.
#include <windows.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "state/Prompt.h"

struct AnsweredDialog {
  std::string text;
  bool hasYesNo;  // the dialog offered Yes and No buttons
};

class DialogAnswerer {
 public:
  DialogAnswerer(const std::string& caption, std::vector<int> answers);
  ~DialogAnswerer();
  DialogAnswerer(const DialogAnswerer&) = delete;
  DialogAnswerer& operator=(const DialogAnswerer&) = delete;

  std::vector<AnsweredDialog> Answered();

 private:
  void Run();

  PromptHandler previousPrompt_;
  std::string caption_;
  std::deque<int> answers_;
  std::vector<AnsweredDialog> answered_;
  std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Puts an Escape key press into this thread's queue, as the keyboard would.
void PostEscapeKey(HWND window);
