#pragma once
// CSV as RFC 4180 has it: fields separated by commas, each record ended by
// CR LF, and a field that holds a comma, a double quote, CR or LF enclosed
// in double quotes, with each double quote inside doubled.
#include <string>
#include <vector>

std::string CsvRecord(const std::vector<std::string>& fields);
