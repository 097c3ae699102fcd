#pragma once

#include <string>

namespace zqt::demo {

// The engine's small HTML pages. Every text that comes from outside is HTML-escaped.
std::string htmlEscape(const std::string& text);
// The web terminal; `tokenState` is "none" (no token query item), "valid" or "invalid".
std::string terminalPage(const std::string& tokenState);
std::string adminPage(const std::string& statusJson);
std::string apiIndexPage();
std::string marketingPage(const std::string& apiBase);
std::string externalPage(const std::string& apiBase);
std::string portalPage(const std::string& apiBase);

} // namespace zqt::demo
