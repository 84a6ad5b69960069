// The help text of the page "Info": its designed form, broken into short lines,
// and the reflow that joins the lines of each paragraph at start.
#pragma once

#include <QString>

namespace vornetta::ui {

// The designed text of MemoInfo: paragraphs broken into lines, one empty line
// between paragraphs, lines separated by LF.
QString DesignedInfoText();

// Joins the lines of each paragraph of a memo's text with single blanks and keeps
// paragraphs apart by one empty line. memoText's lines are separated by LF (as a
// Qt memo gives them); the result separates lines with CR LF.
QString ReflowInfoText(const QString& memoText);

}  // namespace vornetta::ui
