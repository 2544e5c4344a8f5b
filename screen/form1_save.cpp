// Saving the deliveries typed on the page on screen.

#include <QString>
#include <cstdio>
#include <string>
#include <variant>
#include <vector>

#include "screen/flexgrid.h"
#include "screen/form1.h"
#include "screen/textbox.h"

namespace screen {

namespace {

// Long texts are cut so that the message stays readable.
QString Shown(const std::string& text) {
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    constexpr int kMaxShown = 40;
    if (shown.size() > kMaxShown) shown = shown.left(kMaxShown) + QStringLiteral("…");
    return shown;
}

}  // namespace

void Form1::Command3_Click() {
    // A quantity still being typed belongs to this save.
    CommitEntry();

    const int16_t n = route::ToInt16(colArtikel.Count());
    std::vector<std::string> texts;
    texts.reserve(static_cast<std::size_t>(n));
    for (int b = 1; b <= n; ++b)
        texts.push_back(Grid1->TextMatrix(b, Grid1->Cols() - 1).toStdString());

    route::SaveOutcome outcome = route::PlanSave(*this, nAktKund, texts);
    if (const auto* refusal = std::get_if<route::SaveRefusal>(&outcome)) {
        const QString article = QString::fromStdString(colArtikel.Item(refusal->article));
        Grid1->SetRow(refusal->article);
        Grid1->SetCol(Grid1->Cols() - 1);
        Grid1->SetFocus();
        if (refusal->reason == route::SaveRefusal::Reason::BadQuantity) {
            ShowMessage(
                QStringLiteral("Ogiltigt antal för %1: %2").arg(article, Shown(refusal->text)));
        } else {
            ShowMessage(QStringLiteral("Lagret för %1 går utanför det tillåtna med antalet %2")
                            .arg(article, Shown(refusal->text)));
        }
        return;
    }
    const route::SavePlan& plan = std::get<route::SavePlan>(outcome);
    // On disk first: a save the journal could not keep is no save, and the
    // page stays as typed so the driver can press "Spara" again.
    if (journal_ != nullptr) {
        try {
            journal_->Record(plan);
        } catch (const route::JournalError& e) {
            // The journal's message is the driver's: what failed and what to do.
            // Its cause (a result code, errno) is for whoever reads the log.
            if (e.detail().empty()) {
                std::fprintf(stderr, "leverans: sparandet misslyckades: %s\n", e.what());
            } else {
                std::fprintf(stderr, "leverans: sparandet misslyckades: %s (orsak: %s)\n", e.what(),
                             e.detail().c_str());
            }
            ShowMessage(QString::fromUtf8(e.what()));
            return;
        }
    }
    route::ApplySave(*this, plan);
    AnnounceSaved(plan.nKundId);
    Command2_Click();
    // The next shop is typed straight away, so the grid takes the keys, not
    // "Spara": a second Enter opens an entry instead of saving an empty page.
    // The page drawing has closed any entry, so the grid's focus event
    // commits nothing onto the new page. On the last shop the page stays.
    Grid1->SetFocus();
}

}  // namespace screen
