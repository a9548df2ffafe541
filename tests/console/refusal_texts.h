#pragma once
// What benchterm prints when it refuses its options.
namespace console_test {

constexpr const char* kUsageText =
    " benchterm <rip=...> [options]\n rip\t\tthe server's ip address.\n"
    " q\t\t\texit this console\n -help print this information.\n\n";
constexpr const char* kNoAddressText =
    "Please enter the IP address of the server as an argument.\nUse -help for more information.\n";

}  // namespace console_test
