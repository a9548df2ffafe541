#pragma once
// The status texts with which each operation ends, as its worker half posts
// them. The history and tavrinctl read an operation's outcome from these;
// this is their one copy.

struct OperationEndings {
  const char* success;
  const char* failed;
  const char* cancelled;
  const char* declined;  // the script refused the operation; nullptr when none
};

// Empty texts for an operation that ends without a status (discovery).
OperationEndings EndingsOf(int operation);
