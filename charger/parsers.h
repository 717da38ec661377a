// The number parsers: typed text in, a number or why there is none out. The tolerance rules for
// typed values (decimal comma, trailing units) and the ranges each kind of value is clamped to, or
// refused outside. They print nothing: what the user is to be told comes back with the value, and
// the console shows it. The parsers that need the charger at hand (its system voltage, its ratings)
// are SettingSetters' (charger/setters.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sunlink {

// What a parser says of text it cannot read as a number.
extern const char kUnableToInterpret[];  // "Unable to interpret value"

// A number read by a tolerant parser (the lighting, relay and load prompts): the value, which is
// the parser's default when the text could not be read, and what the user is told about the text,
// one message each, in the order they arose (none when it read well).
template <typename T>
struct Reading {
  T value;
  std::vector<std::string> complaints;
};

// A number read by a strict parser (the values of the command line and the main menu's setting
// keys): the value, or none and the refusal the user is shown.
template <typename T>
struct Parsed {
  std::optional<T> value;
  std::string refusal;  // empty when there is a value
};

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

// A value below low becomes low, then a value above high becomes high (so when the range is empty,
// as with an unknown current rating of 0, high wins).
double clampToRange(double value, double low, double high);

// The tolerant parsers. The text is prepared (prepareNumberText), converted and clamped to the
// parser's range; unreadable text gives the default and kUnableToInterpret.
// A panel voltage up to the charger's panel rating; a negative one is refused like unreadable text.
Reading<double> parsePanelVoltage(const std::string& text, double defaultValue,
                                  double maxPvVoltage);
// A signed 16-bit number, truncated toward zero, from low to high.
Reading<std::int16_t> parseSmallInt(const std::string& text, std::int16_t defaultValue, int low,
                                    int high);
// Minutes of a duration typed as hours ("6.5") or H:MM ("6:30"), the hours clamped to 0 to
// maxHours. Unreadable hours give 0; unreadable minutes after the colon are complained of too
// and count as 0. Never negative.
Reading<std::uint16_t> parseDuration(const std::string& text, double maxHours);
// 0 to 100, truncated toward zero. Pressing only Enter gives the default without a complaint.
Reading<std::uint8_t> parsePercent(const std::string& text, std::uint8_t defaultValue);

// The strict parsers. Unreadable text is refused with kUnableToInterpret; a number outside the
// range is refused, not clamped: "<name> must be between <low> and <high><unit>, not
// <value><unit>". A clamped typo (144 for 14.4, 1000 A) would charge the battery at the top of the
// range.
// value when it lies from low to high (the ends shown with decimals, the value as short as it
// reads: 144, 17.405, -5); unit with its blank (" V").
Parsed<double> withinRange(double value, double low, double high, const char* name, int decimals,
                           const char* unit);
// Hours, typed as hours (6.5, 6,5 h) or H:MM (0 to 59 minutes), from 0:01 to maxHours.
Parsed<double> parseHours(const std::string& text, double maxHours);

}  // namespace sunlink
