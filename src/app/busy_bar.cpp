// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/busy_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

CBusyBar::CBusyBar(QWidget* parent) : QWidget(parent), m_text(new QLabel(this)), m_cancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 2, 2);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_cancel);
    connect(m_cancel, &QPushButton::clicked, this, &CBusyBar::cancelRequested);
    hide();
}

void CBusyBar::Start(const QString& text)
{
    m_text->setText(text);
    show();
    raise();
}

void CBusyBar::Stop()
{
    hide();
    m_text->clear();
}

QString CBusyBar::Text() const { return m_text->text(); }
