#include "cairn/access/DatabaseError.h"

#include "cairn/access/Component.h"

namespace cairn {

std::string FormatMessage(std::string_view format, std::initializer_list<std::string_view> args) {
  std::string out;
  auto arg = args.begin();
  for (size_t i = 0; i < format.size(); ++i) {
    char next = i + 1 < format.size() ? format[i + 1] : '\0';
    if (format[i] == '%' && next == 's') {
      if (arg != args.end()) out += *arg++;
      ++i;
    } else if (format[i] == '%' && next == '%') {
      out += '%';
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

void DatabaseError(const std::string& message, const TComponent* component) {
  if (component && !component->Name().empty()) {
    throw EDatabaseError(component->Name() + ": " + message);
  }
  throw EDatabaseError(message);
}

void DatabaseErrorFmt(std::string_view format, std::initializer_list<std::string_view> args,
                      const TComponent* component) {
  DatabaseError(FormatMessage(format, args), component);
}

}  // namespace cairn
