#include "pages/plain_page.h"

#include <QLabel>
#include <QVBoxLayout>

namespace vcx {

PlainPage::PlainPage(int templateId, const QString& name, QWidget* parent) : CQVChdParentDlg(templateId, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(QStringLiteral("%1: this page is not part of this version of VCXMSet.").arg(name), this);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    initDialog();
}

} // namespace vcx
