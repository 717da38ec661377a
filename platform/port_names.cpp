#include "platform/port_names.h"

#include <algorithm>
#include <cctype>

namespace sunlink {

// Written out rather than strverscmp: that one reads digits after leading zeros as a fraction
// (COM02 and COM09 before COM1), and MinGW's C library, which sorts the COM ports, has none.
bool naturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
    const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
    if (digitA && digitB) {
      std::size_t endA = i;
      std::size_t endB = j;
      while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA]))) ++endA;
      while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB]))) ++endB;
      std::size_t startA = i;
      std::size_t startB = j;
      while (startA + 1 < endA && a[startA] == '0') ++startA;
      while (startB + 1 < endB && b[startB] == '0') ++startB;
      const std::string numberA = a.substr(startA, endA - startA);
      const std::string numberB = b.substr(startB, endB - startB);
      if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
      if (numberA != numberB) return numberA < numberB;
      if (endA - i != endB - j) return endA - i < endB - j;  // fewer leading zeros first
      i = endA;
      j = endB;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

std::vector<std::string> comPortNames(const wchar_t* list, std::size_t size) {
  std::vector<std::string> names;
  std::size_t at = 0;
  while (at < size && list[at] != L'\0') {
    std::size_t end = at;
    while (end < size && list[end] != L'\0') ++end;
    // The name is taken character by character: port names are plain ASCII, and anything else
    // would not survive the trip to a narrow name and back.
    std::string name;
    bool ascii = true;
    for (std::size_t k = at; k < end; ++k) {
      if (list[k] <= 0 || list[k] > 0x7F) {
        ascii = false;
        break;
      }
      name.push_back(static_cast<char>(list[k]));
    }
    if (ascii && name.compare(0, 3, "COM") == 0) names.push_back(name);
    at = end + 1;
  }
  std::sort(names.begin(), names.end(), naturalLess);
  return names;
}

std::string windowsDevicePath(const std::string& name) {
  if (name.compare(0, 2, "\\\\") == 0 || name.compare(0, 2, "//") == 0) return name;
  return "\\\\.\\" + name;
}

}  // namespace sunlink
