// SPDX-License-Identifier: Apache-2.0
#include "window/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "tarn/version.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Tarn Multi Downloader"));
  auto* icon = new QLabel(this);
  icon->setPixmap(windowIcon().pixmap(32, 32));
  auto* text = new QLabel(QStringLiteral("Tarn Multi Downloader, Version " TARN_VERSION), this);
  text->setObjectName(QStringLiteral("aboutText"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addWidget(text, 1);
  auto* column = new QVBoxLayout(this);
  column->addLayout(row);
  column->addWidget(buttons);
  setFixedSize(sizeHint());
}
