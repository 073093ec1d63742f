#include "base/PathText.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

bool CopyText(char* destination, size_t destinationLength, const char* source) {
  if (destinationLength == 0) return false;
  size_t length = strlen(source);
  if (length >= destinationLength) {
    destination[0] = '\0';
    return false;
  }
  memcpy(destination, source, length + 1);
  return true;
}

bool AppendText(char* destination, size_t destinationLength, const char* source) {
  size_t used = strnlen(destination, destinationLength);
  size_t length = strlen(source);
  if (used == destinationLength || length >= destinationLength - used) return false;
  memcpy(destination + used, source, length + 1);
  return true;
}

void CopyTruncated(char* destination, size_t destinationLength, const char* source) {
  if (destinationLength == 0) return;
  size_t length = strnlen(source, destinationLength - 1);
  memcpy(destination, source, length);
  destination[length] = '\0';
}

std::string EscapeControlCharacters(const char* text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (const char* at = text; *at; ++at) {
    const unsigned char c = static_cast<unsigned char>(*at);
    if (c < 0x20) {
      escaped += "\\x";
      escaped += kHex[c >> 4];
      escaped += kHex[c & 15];
    } else {
      escaped += *at;
    }
  }
  return escaped;
}

namespace {

enum class Length { None, Char, Short, Long, LongLong, Size, Max, PtrDiff, LongDouble };

// One conversion, with its "*" values, appended whole to `out`.
template <typename Value>
void AppendConversion(std::string& out, const char* directive, int stars, const int* star, Value value) {
  auto print = [&](char* buffer, size_t size) {
    if (stars == 2) return snprintf(buffer, size, directive, star[0], star[1], value);
    if (stars == 1) return snprintf(buffer, size, directive, star[0], value);
    return snprintf(buffer, size, directive, value);
  };
  char small[128];
  const int written = print(small, sizeof small);
  if (written <= 0) return;
  if (static_cast<size_t>(written) < sizeof small) {
    out += small;
    return;
  }
  std::string whole(static_cast<size_t>(written) + 1, '\0');
  print(&whole[0], whole.size());
  whole.resize(static_cast<size_t>(written));
  out += whole;
}

}  // namespace

void FormatEscaped(char* destination, size_t destinationLength, const char* format, va_list args) {
  if (destinationLength == 0) return;
  std::string out;
  for (const char* at = format; *at;) {
    if (*at != '%') {
      out += *at++;
      continue;
    }
    // The conversion's text, from "%" to its letter; each "*" is read here.
    std::string directive = "%";
    ++at;
    int star[2] = {0, 0};
    int stars = 0;
    while (*at && strchr("-+ #0", *at)) directive += *at++;
    auto takeNumber = [&]() {
      if (*at == '*') {
        const int value = va_arg(args, int);
        if (stars < 2) star[stars++] = value;
        directive += *at++;
      } else {
        while (*at >= '0' && *at <= '9') directive += *at++;
      }
    };
    takeNumber();
    if (*at == '.') {
      directive += *at++;
      takeNumber();
    }
    Length length = Length::None;
    for (;; directive += *at++) {
      if (*at == 'h') length = length == Length::Short ? Length::Char : Length::Short;
      else if (*at == 'l') length = length == Length::Long ? Length::LongLong : Length::Long;
      else if (*at == 'z') length = Length::Size;
      else if (*at == 'j') length = Length::Max;
      else if (*at == 't') length = Length::PtrDiff;
      else if (*at == 'L') length = Length::LongDouble;
      else break;
    }
    const char conversion = *at;
    if (!conversion) break;
    ++at;
    directive += conversion;
    const char* f = directive.c_str();
    switch (conversion) {
      case '%':
        out += '%';
        break;
      case 's': {
        // Width and precision apply to the escaped text.
        const char* text = va_arg(args, const char*);
        const std::string escaped = EscapeControlCharacters(text ? text : "(null)");
        AppendConversion(out, f, stars, star, escaped.c_str());
        break;
      }
      case 'c': {
        const char text[2] = {static_cast<char>(va_arg(args, int)), '\0'};
        out += text[0] ? EscapeControlCharacters(text) : std::string("\\x00");
        break;
      }
      case 'd':
      case 'i':
        switch (length) {
          case Length::Long: AppendConversion(out, f, stars, star, va_arg(args, long)); break;
          case Length::LongLong: AppendConversion(out, f, stars, star, va_arg(args, long long)); break;
          case Length::Size:
          case Length::PtrDiff: AppendConversion(out, f, stars, star, va_arg(args, ptrdiff_t)); break;
          case Length::Max: AppendConversion(out, f, stars, star, va_arg(args, intmax_t)); break;
          default: AppendConversion(out, f, stars, star, va_arg(args, int)); break;
        }
        break;
      case 'u':
      case 'x':
      case 'X':
      case 'o':
        switch (length) {
          case Length::Long: AppendConversion(out, f, stars, star, va_arg(args, unsigned long)); break;
          case Length::LongLong:
            AppendConversion(out, f, stars, star, va_arg(args, unsigned long long));
            break;
          case Length::Size:
          case Length::PtrDiff: AppendConversion(out, f, stars, star, va_arg(args, size_t)); break;
          case Length::Max: AppendConversion(out, f, stars, star, va_arg(args, uintmax_t)); break;
          default: AppendConversion(out, f, stars, star, va_arg(args, unsigned int)); break;
        }
        break;
      case 'p':
        AppendConversion(out, f, stars, star, va_arg(args, void*));
        break;
      case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
        if (length == Length::LongDouble) AppendConversion(out, f, stars, star, va_arg(args, long double));
        else AppendConversion(out, f, stars, star, va_arg(args, double));
        break;
      default:
        // A conversion this does not know: the rest of the line cannot be read safely.
        at = "";
        break;
    }
  }
  CopyTruncated(destination, destinationLength, out.c_str());
}

size_t PathRootLength(const char* path) {
  if (path[0] != '\0' && path[1] == ':' && path[2] == '\\') return 3;
  if (path[0] == '\\' && path[1] == '\\') {
    const char* server = strchr(path + 2, '\\');
    const char* share = server ? strchr(server + 1, '\\') : nullptr;
    return share ? static_cast<size_t>(share - path) + 1 : strlen(path);
  }
  return 0;
}
