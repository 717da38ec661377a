// Pure text-to-number helpers behind the ChargerSettings parsers and setters. No streams, no model:
// text in, value out.
#pragma once

#include <optional>
#include <string>

namespace sunlink {

// Every character that ends the number part of a typed value: letters, most punctuation, the plus
// sign and the blank. Digits, the point and the minus sign are not among them, so "14.4V",
// "14.4 V" and "6:30" keep their leading number. 77 characters.
extern const char numberStopChars[];

// Turns the first comma into a point (so "13,8" reads as 13.8), then cuts the text before the
// first stop character.
std::string prepareNumberText(std::string text);

// The whole text as a decimal number: an optional minus sign, digits with at most one point, at
// least one digit. Anything else (including empty text) gives nothing.
std::optional<double> convertNumber(const std::string& text);

// The whole text as a signed integer: an optional sign, then digits only, within the range of int.
std::optional<int> convertWholeInteger(const std::string& text);

// A value typed for a setting on the command line or at a main-menu prompt: a number (an optional
// minus sign, digits with at most one point or one comma as the decimal separator) optionally
// followed by blanks and the setting's unit in any case ("14,4", "14.4V", "13,8 V"). Anything else
// gives nothing: unlike prepareNumberText, nothing after the number is cut off, so "1,2,3",
// "2.5e1" and "12.5%" are not read as some other number.
std::optional<double> convertSettingNumber(const std::string& text, const std::string& unit);

// An absorption time in minutes: hours as convertSettingNumber reads them (unit "h"), or H:MM with
// whole hours and 0 to 59 minutes ("6:30"). Nothing for any other text ("7:", "6:-5", "6:75"), nor
// for a million hours or more.
std::optional<long> convertHoursText(const std::string& text);

// x truncated toward zero after the binary representation error of a decimal value has been
// removed: 0.35 × 60 is 20.999… in binary but the user typed 21 minutes' worth. The product is
// rounded to six decimals first, so a genuine fraction such as 1435.5 still truncates to 1435.
double truncateDecimal(double x);

}  // namespace sunlink
