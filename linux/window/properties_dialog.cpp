#include "linux/window/properties_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cstdio>
#include <map>

#include "platform/diagnostic_log.h"

namespace {

QString Text(const std::string& utf8) {
    return QString::fromUtf8(utf8.c_str());
}

QWidget* FindOwner(const std::string& title) {
    if (title.empty()) {
        return nullptr;
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->windowTitle() == Text(title) && !widget->isHidden()) {
            return widget;
        }
    }
    return nullptr;
}

QString ControlName(std::uint32_t id) {
    return QStringLiteral("control-%1").arg(id);
}

class PropertiesDialog : public QDialog {
public:
    PropertiesDialog(const PropertyFrameRequest& request, PropertyPages& pages, QWidget* owner)
        : QDialog(owner), m_pages(pages) {
        setWindowTitle(Text(request.title));
        setModal(true);
        auto* layout = new QVBoxLayout(this);
        m_grid = new QGridLayout;
        layout->addLayout(m_grid);
        for (const DeviceControl& control : m_pages.GetPages()) {
            AddRow(control);
        }
        layout->addWidget(MakeButtons(request.chinese));
        RefreshStates();
    }

private:
    // Per setting: what the driver said about it and the widgets that show it.
    struct Row {
        DeviceControl control;
        std::vector<QWidget*> widgets;
    };

    std::int32_t CurrentValue(const DeviceControl& control) {
        std::int32_t value = control.defaultValue;
        if (m_pages.GetValue(control.id, &value) < 0) {
            value = control.defaultValue;
        }
        return value;
    }

    void AddRow(const DeviceControl& control) {
        const int line = m_grid->rowCount();
        m_grid->addWidget(new QLabel(Text(control.name), this), line, 0);
        Row& row = m_rows[control.id];
        row.control = control;
        switch (control.type) {
            case DeviceControlType::Integer:
                row.widgets = AddInteger(control, line);
                break;
            case DeviceControlType::Boolean:
                row.widgets = {AddBoolean(control, line)};
                break;
            case DeviceControlType::Menu:
                row.widgets = {AddMenu(control, line)};
                break;
            case DeviceControlType::Button:
                row.widgets = {AddButton(control, line)};
                break;
        }
    }

    std::vector<QWidget*> AddInteger(const DeviceControl& control, int line) {
        auto* slider = new QSlider(Qt::Horizontal, this);
        auto* spin = new QSpinBox(this);
        slider->setObjectName(ControlName(control.id));
        spin->setObjectName(ControlName(control.id) + QStringLiteral("-spin"));
        slider->setRange(control.minimum, control.maximum);
        slider->setSingleStep(control.step);
        spin->setRange(control.minimum, control.maximum);
        spin->setSingleStep(control.step);
        const std::int32_t value = CurrentValue(control);
        slider->setValue(value);
        spin->setValue(value);
        connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
        connect(spin, qOverload<int>(&QSpinBox::valueChanged), slider, &QSlider::setValue);
        connect(slider, &QSlider::valueChanged, this,
                [this, id = control.id](int changed) { Apply(id, changed); });
        m_grid->addWidget(slider, line, 1);
        m_grid->addWidget(spin, line, 2);
        return {slider, spin};
    }

    QWidget* AddBoolean(const DeviceControl& control, int line) {
        auto* box = new QCheckBox(this);
        box->setObjectName(ControlName(control.id));
        box->setChecked(CurrentValue(control) != 0);
        connect(box, &QCheckBox::toggled, this,
                [this, id = control.id](bool on) { Apply(id, on ? 1 : 0); });
        m_grid->addWidget(box, line, 1, 1, 2);
        return box;
    }

    QWidget* AddMenu(const DeviceControl& control, int line) {
        auto* combo = new QComboBox(this);
        combo->setObjectName(ControlName(control.id));
        for (const auto& [value, label] : control.menuItems) {
            combo->addItem(Text(label), value);
        }
        combo->setCurrentIndex(std::max(0, combo->findData(CurrentValue(control))));
        connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this,
                [this, combo, id = control.id](int index) {
                    Apply(id, combo->itemData(index).toInt());
                });
        m_grid->addWidget(combo, line, 1, 1, 2);
        return combo;
    }

    QWidget* AddButton(const DeviceControl& control, int line) {
        auto* button = new QPushButton(Text(control.name), this);
        button->setObjectName(ControlName(control.id));
        connect(button, &QPushButton::clicked, this, [this, id = control.id] { Apply(id, 1); });
        m_grid->addWidget(button, line, 1, 1, 2);
        return button;
    }

    QWidget* MakeButtons(bool chinese) {
        auto* buttons = new QDialogButtonBox(this);
        QPushButton* restore = buttons->addButton(
            chinese ? QStringLiteral("還原預設值") : QStringLiteral("Restore Defaults"),
            QDialogButtonBox::ResetRole);
        restore->setObjectName(QStringLiteral("restore-defaults"));
        QPushButton* close =
            buttons->addButton(chinese ? QStringLiteral("關閉") : QStringLiteral("Close"),
                               QDialogButtonBox::RejectRole);
        connect(restore, &QPushButton::clicked, this, [this] { RestoreDefaults(); });
        connect(close, &QPushButton::clicked, this, &QDialog::reject);
        return buttons;
    }

    // Settings go to the device at once; a change can make other settings (in)active.
    void Apply(std::uint32_t id, std::int32_t value) {
        const auto found = m_rows.find(id);
        if (m_restoring || found == m_rows.end()) {
            return;
        }
        Row& row = found->second;
        if (!SetOnCamera(row.control, value) && row.control.type != DeviceControlType::Button) {
            // The widget springs back to what the camera kept: it never shows a value the
            // camera does not have.
            m_restoring = true;
            ShowValue(row, CurrentValue(row.control));
            m_restoring = false;
        }
        RefreshStates();
    }

    // False, with a log line, when the camera refused the value (buggy firmware refuses what
    // it offers, and a driver refuses a setting its automatic mode holds).
    bool SetOnCamera(const DeviceControl& control, std::int32_t value) {
        const HResult result = m_pages.SetValue(control.id, value);
        if (result >= 0) {
            return true;
        }
        char line[200];
        std::snprintf(line, sizeof line, "Camera refused the setting \"%s\" = %d (0x%08X)",
                      control.name.c_str(), static_cast<int>(value), static_cast<unsigned>(result));
        WriteLog(line);
        return false;
    }

    // A setting that an automatic mode holds (perhaps since a default set just before) is left
    // to that mode: the camera would refuse it.
    void RestoreDefaults() {
        m_restoring = true;
        for (auto& [id, row] : m_rows) {
            const DeviceControl& control = row.control;
            if (control.readOnly || control.type == DeviceControlType::Button) {
                continue;
            }
            RefreshStates();
            if (!control.inactive) {
                SetOnCamera(control, control.defaultValue);
            }
            ShowValue(row, CurrentValue(control));
        }
        m_restoring = false;
        RefreshStates();
    }

    void ShowValue(Row& row, std::int32_t value) {
        for (QWidget* widget : row.widgets) {
            if (auto* slider = qobject_cast<QSlider*>(widget)) {
                slider->setValue(value);
            } else if (auto* spin = qobject_cast<QSpinBox*>(widget)) {
                spin->setValue(value);
            } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
                box->setChecked(value != 0);
            } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
                combo->setCurrentIndex(std::max(0, combo->findData(value)));
            }
        }
    }

    void RefreshStates() {
        for (const DeviceControl& control : m_pages.GetPages()) {
            auto found = m_rows.find(control.id);
            if (found == m_rows.end()) {
                continue;
            }
            found->second.control.inactive = control.inactive;
            found->second.control.readOnly = control.readOnly;
            for (QWidget* widget : found->second.widgets) {
                widget->setEnabled(!control.readOnly && !control.inactive);
            }
        }
    }

    PropertyPages& m_pages;
    QGridLayout* m_grid = nullptr;
    std::map<std::uint32_t, Row> m_rows;
    bool m_restoring = false;
};

}  // namespace

std::unique_ptr<QDialog> CreatePropertiesDialog(const PropertyFrameRequest& request,
                                                PropertyPages& pages) {
    QWidget* owner = FindOwner(request.ownerTitle);
    auto dialog = std::make_unique<PropertiesDialog>(request, pages, owner);
    const QPoint origin = owner != nullptr ? owner->geometry().topLeft() : QPoint(0, 0);
    dialog->move(origin + QPoint(request.position.x, request.position.y));
    return dialog;
}

void RunPropertiesDialog(const PropertyFrameRequest& request, PropertyPages& pages) {
    std::unique_ptr<QDialog> dialog = CreatePropertiesDialog(request, pages);
    dialog->exec();
}
