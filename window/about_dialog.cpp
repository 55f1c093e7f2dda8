// SPDX-License-Identifier: Apache-2.0
#include "window/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

#include "tarn/version.h"

namespace {

// Beside its title, a title bar holds the icon and two or three buttons:
// about this many text lines' height in all.
constexpr int kTitleBarExtraLines = 8;

QLabel* AddLine(QWidget* parent, const QString& name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Tarn Multi Downloader"));
  auto* icon = new QLabel(this);
  icon->setPixmap(windowIcon().pixmap(32, 32));
  auto* lines = new QVBoxLayout;
  lines->addWidget(
      AddLine(this, QStringLiteral("aboutText"), QStringLiteral("Tarn Multi Downloader, Version " TARN_VERSION)));
  lines->addWidget(AddLine(this, QStringLiteral("aboutLicence"), QStringLiteral("Apache License 2.0")));
  const QString home = QStringLiteral(TARN_HOMEPAGE);
  QLabel* link = AddLine(this, QStringLiteral("aboutHome"), QStringLiteral("<a href=\"%1\">%1</a>").arg(home));
  link->setOpenExternalLinks(true);
  lines->addWidget(link);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addLayout(lines, 1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(row);
  column->addWidget(buttons);
  // The window manager draws the title in the title bar, which is only as
  // wide as the box: the box is made wide enough for it.
  const QFontMetrics metrics(font());
  const int titleWidth = metrics.horizontalAdvance(windowTitle()) + kTitleBarExtraLines * metrics.height();
  setFixedSize(std::max(sizeHint().width(), titleWidth), sizeHint().height());
}
