// What the report builder needs of the window: the source and HTML pages of the
// preview and its event pump. The window implements it with Qt; tests and the
// benchmark implement it without.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/event_pump.h"

namespace vornetta::report {

class TReportText;

// The message of a build that the pump ended.
inline constexpr char kBuildCancelled[] = "Erstellen abgebrochen.";

// The pump runs right after PiecesAppended during a build, at most once per
// Slice(); when it returns false the build ends after the current record with
// platform::ECancelled kBuildCancelled.
class TReportView : public platform::TEventPump {
 public:
  // Makes the source page the visible one and shows the empty page
  // ("about:blank") in the HTML view. Called once at the start of a build.
  virtual void ShowSourcePage() = 0;

  // The report text has grown since the last call (or was cleared, when
  // PieceCount() is below what the view has shown): the source view catches up.
  // Called at most once per Slice() during a build and once before LoadPreview.
  virtual void PiecesAppended(const TReportText& text) = 0;

  // Statement `number` (from 1) of `count` is about to run; for a progress
  // display. The text is only valid during the call.
  virtual void StatementStarted(std::size_t /*number*/, std::size_t /*count*/, std::string_view /*statement*/) {}

  // Something the user should know about the finished report, such as a size
  // budget it cannot keep; for the window's status line and stderr. UTF-8.
  virtual void Notice(const std::string& /*utf8Message*/) {}

  // Loads the document text (bytes in the system code page) into the HTML view
  // and makes the HTML page the visible one. Called once at the end of every
  // build, after a failure too. The text is only valid during the call.
  virtual void LoadPreview(std::string_view documentText) = 0;
};

}  // namespace vornetta::report
