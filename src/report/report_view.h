// What the report builder needs of the window: the source and HTML pages of the
// preview and a way to let pending window events through. The window implements
// it with Qt; tests and the benchmark implement it without.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>


namespace vornetta::report {

class TReportText;

class TReportView {
 public:
  virtual ~TReportView() = default;

  // Makes the source page the visible one and shows the empty page
  // ("about:blank") in the HTML view. Called once at the start of a build.
  virtual void ShowSourcePage() = 0;

  // The report text has grown since the last call (or was cleared, when
  // PieceCount() is below what the view has shown): the source view catches up.
  // Called at most once per EventSlice() during a build and once before
  // LoadPreview.
  virtual void PiecesAppended(const TReportText& text) = 0;

  // Lets the window handle its pending events. Called right after
  // PiecesAppended during a build, at most once per EventSlice(). May throw to
  // end the build after the current record (a cancel).
  virtual void ProcessPendingEvents() = 0;

  // Statement `number` (from 1) of `count` is about to run; for a progress
  // display. The text is only valid during the call.
  virtual void StatementStarted(std::size_t /*number*/, std::size_t /*count*/, std::string_view /*statement*/) {}

  // Something the user should know about the finished report, such as a size
  // budget it cannot keep; for the window's status line and stderr. UTF-8.
  virtual void Notice(const std::string& /*utf8Message*/) {}

  // The least time between two passes through the window's events during a
  // build. A pass costs more than writing a row, so rows are written in slices.
  virtual std::chrono::milliseconds EventSlice() const { return std::chrono::milliseconds(15); }

  // Loads the document text (bytes in the system code page) into the HTML view
  // and makes the HTML page the visible one. Called once at the end of every
  // build, after a failure too. The text is only valid during the call.
  virtual void LoadPreview(std::string_view documentText) = 0;
};

}  // namespace vornetta::report
