// The framework's calendar value: TDateTime counts days since 1899-12-30
// 00:00 in a double, the fraction being the time of day. The zero value is
// therefore 30 December 1899, midnight. Only the proleptic Gregorian calendar
// from year 1 to 9999 is representable.
#pragma once

#include <cstdint>
#include <string>

namespace pagorix {

using TDateTime = double;

// True with the value when the parts form a valid date or time.
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& value);
// As the Try forms; raise EConvertError on invalid parts.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);

void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// Formats with the tokens yyyy, yy, m, mm, d, dd, h, hh, n, nn, s, ss and
// am/pm (which also turns the hours into 12-hour form); "m" or "mm" right
// after an hour token means minutes. Text in double quotes is copied as is;
// every other character too.
std::string FormatDateTime(const std::string& format, TDateTime value);

}  // namespace pagorix
