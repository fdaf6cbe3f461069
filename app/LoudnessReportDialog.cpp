// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/LoudnessReportDialog.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/MessageBoxes.h"
#include "options/OutputFormat.h"

namespace corvane {

LoudnessReportDialog::LoudnessReportDialog(const LoudnessPlan& plan, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Loudness - %1").arg(kAppName));
    auto* layout = new QVBoxLayout(this);
    summary_ = new QLabel(this);
    const QString target = tr("%1 LUFS, true peak at most %2 dBTP")
                               .arg(loudnessText(plan.target), loudnessText(plan.ceiling));
    summary_->setText(plan.mode == kLoudnessWholeJoin
                          ? tr("Whole join at the target: %1.\nAll files together measured %2 LUFS.")
                                .arg(target, loudnessText(plan.joinLoudness))
                          : tr("Same loudness for every file: %1.").arg(target));
    layout->addWidget(summary_);

    table_ = new QTableWidget(static_cast<int>(plan.rows.size()), 5, this);
    table_->setHorizontalHeaderLabels(
        {tr("File"), tr("Loudness (LUFS)"), tr("True peak (dBTP)"), tr("Gain (dB)"), tr("Note")});
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int i = 0; i < table_->rowCount(); ++i) {
        const LoudnessRow& r = plan.rows[static_cast<std::size_t>(i)];
        const auto cell = [&](int column, const QString& text, bool number) {
            auto* item = new QTableWidgetItem(text);
            if (number) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(i, column, item);
        };
        auto* name = new QTableWidgetItem(QFileInfo(r.path).fileName());
        name->setToolTip(r.path);
        table_->setItem(i, 0, name);
        cell(1, loudnessText(r.measured.integrated), true);
        cell(2, truePeakText(r.measured), true);
        cell(3, gainText(r.gainDb), true);
        cell(4, r.note, false);
    }
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(table_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    resize(640, std::min(520, 140 + 26 * table_->rowCount()));
}

}  // namespace corvane
