#pragma once
// Ctrl-C while a query waits ends that query and returns to the prompt; at
// any other time it ends the console as usual.
namespace console {

class QueryInterruptScope {
 public:
  QueryInterruptScope();   // SIGINT ends the query from here on
  ~QueryInterruptScope();  // and ends the console again from here on
  QueryInterruptScope(const QueryInterruptScope&) = delete;
  QueryInterruptScope& operator=(const QueryInterruptScope&) = delete;
};

// True once SIGINT arrived inside the innermost scope.
bool query_interrupted();

}  // namespace console
