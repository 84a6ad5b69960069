#include "ui/chart_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "config/my_ini_file.h"
#include "platform/qt_text.h"
#include "report/chart_request.h"

namespace vornetta::ui {
namespace {

constexpr report::TChartKind kKinds[] = {report::TChartKind::Bars, report::TChartKind::Line,
                                         report::TChartKind::Area, report::TChartKind::Pie};

using platform::ToQString;

// The stored request of a statement, when the section has a readable one.
bool StoredRequest(config::TMyIniFile& ini, std::size_t statement, report::TChartRequest& request) {
  const std::string key = std::to_string(statement);
  if (!ini.HasKey(report::kChartSection, key)) return false;
  try {
    request = report::ParseChartRequest(key, ini.ReadValueDefault(report::kChartSection, key, ""));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

QString ChartSummary(config::TMyIniFile& ini) {
  QStringList items;
  for (const std::string& key : ini.KeyNames(report::kChartSection)) {
    items << ToQString(key) + QStringLiteral(": ") + ToQString(ini.ReadValueDefault(report::kChartSection, key, ""));
  }
  return QStringLiteral("Diagramme: ") + (items.isEmpty() ? QStringLiteral("keine") : items.join(QStringLiteral("  ·  ")));
}

TChartDialog::TChartDialog(const std::vector<report::TSelectHead>& heads, config::TMyIniFile& ini, QWidget* parent)
    : QDialog(parent), heads_(heads), ini_(ini) {
  setWindowTitle(QStringLiteral("Diagramme"));
  statement = new QComboBox(this);
  statement->setObjectName(QStringLiteral("cbAnweisung"));
  for (const report::TSelectHead& head : heads_) {
    QStringList names;
    for (const std::string& column : head.columns) names << ToQString(column);
    statement->addItem(QStringLiteral("sql%1: %2").arg(head.statement).arg(names.join(QStringLiteral(", "))));
  }
  kind = new QComboBox(this);
  kind->setObjectName(QStringLiteral("cbArt"));
  kind->addItem(QStringLiteral("kein Diagramm"));
  for (const report::TChartKind k : kKinds) kind->addItem(ToQString(std::string(report::ChartKindWord(k))));
  xColumn = new QComboBox(this);
  xColumn->setObjectName(QStringLiteral("cbXSpalte"));
  yColumns = new QListWidget(this);
  yColumns->setObjectName(QStringLiteral("lbYSpalten"));
  note_ = new QLabel(this);
  note_->setWordWrap(true);
  buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Anweisung:"), statement);
  form->addRow(QStringLiteral("Art:"), kind);
  form->addRow(QStringLiteral("X-Spalte:"), xColumn);
  form->addRow(QStringLiteral("Y-Spalten:"), yColumns);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(note_);
  layout->addWidget(buttons);

  if (heads_.empty()) {
    note_->setText(QStringLiteral("Die Spalten kommen aus dem zuletzt erstellten Bericht: bitte zuerst auf der Seite "
                                  "Versand \"erstellen\"."));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
  }
  connect(statement, &QComboBox::currentIndexChanged, this, [this](int index) { ShowStatement(index); });
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (Store()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  ShowStatement(statement->currentIndex());
}

void TChartDialog::ShowStatement(int index) {
  xColumn->clear();
  yColumns->clear();
  if (index < 0 || static_cast<std::size_t>(index) >= heads_.size()) return;
  const report::TSelectHead& head = heads_[static_cast<std::size_t>(index)];
  report::TChartRequest stored;
  const bool known = StoredRequest(ini_, head.statement, stored);
  kind->setCurrentIndex(0);
  if (known)
    kind->setCurrentIndex(static_cast<int>(std::ranges::find(kKinds, stored.kind) - std::begin(kKinds)) + 1);
  for (const std::string& column : head.columns) {
    xColumn->addItem(ToQString(column));
    auto* item = new QListWidgetItem(ToQString(column), yColumns);
    const bool chosen = known && std::ranges::find(stored.yColumns, column) != stored.yColumns.end();
    item->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
  }
  if (known) xColumn->setCurrentText(ToQString(stored.xColumn));
}

bool TChartDialog::Store() {
  const int index = statement->currentIndex();
  if (index < 0 || static_cast<std::size_t>(index) >= heads_.size()) return false;
  const std::string key = std::to_string(heads_[static_cast<std::size_t>(index)].statement);
  if (kind->currentIndex() == 0) {
    ini_.RemoveKey(report::kChartSection, key);
    return true;
  }
  report::TChartRequest request;
  request.kind = kKinds[kind->currentIndex() - 1];
  request.xColumn = xColumn->currentText().toStdString();
  for (int i = 0; i < yColumns->count(); ++i)
    if (yColumns->item(i)->checkState() == Qt::Checked) request.yColumns.push_back(yColumns->item(i)->text().toStdString());
  if (request.yColumns.empty() || (request.kind == report::TChartKind::Pie && request.yColumns.size() > 1)) {
    note_->setText(request.yColumns.empty() ? QStringLiteral("Bitte mindestens eine Y-Spalte ankreuzen.")
                                            : QStringLiteral("Eine Torte zeigt genau eine Y-Spalte."));
    return false;
  }
  ini_.WriteValue(report::kChartSection, key, report::ChartSettingValue(request));
  return true;
}

}  // namespace vornetta::ui
