// Fixed texts of the window that more than one place needs.
#pragma once

namespace vornetta::ui {

// The application title: window caption, title label and Info page.
inline constexpr char kAppTitle[] = "Vornetta";

// The sender the page "eMail" offers when the file has none.
inline constexpr char kBuiltInSender[] = "Vornetta <vornetta@localhost>";

}  // namespace vornetta::ui
