#include "window/port_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace splicerec {

PortDialog::PortDialog(const std::vector<PortOffer>& ports, const std::string& current, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("portDialog"));
    setWindowTitle(QStringLiteral("Serial port"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Which port is the splicer connected to?"), this));
    list_ = new QListWidget(this);
    layout->addWidget(list_);
    for (const auto& port : ports) {
        std::string text = port.path;
        if (!port.description.empty())
            text += "  " + port.description;
        if (!port.stableName.empty())
            text += '\n' + port.stableName;
        auto* item = new QListWidgetItem(QString::fromStdString(text), list_);
        item->setData(Qt::UserRole, QString::fromStdString(port.stableName.empty() ? port.path : port.stableName));
        if (port.path == current || (!port.stableName.empty() && port.stableName == current))
            list_->setCurrentItem(item);
    }
    // Wide enough for a whole by-id link: it is what tells two adapters of one model apart.
    list_->setMinimumWidth(list_->sizeHintForColumn(0) + 2 * list_->frameWidth() + 24);
    if (!list_->currentItem() && list_->count() > 0)
        list_->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Use this port"));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(list_->count() > 0);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemActivated, this, &QDialog::accept);
    list_->setFocus();
}

std::string PortDialog::choice() const
{
    const auto* item = list_->currentItem();
    return item ? item->data(Qt::UserRole).toString().toStdString() : std::string();
}

}  // namespace splicerec
