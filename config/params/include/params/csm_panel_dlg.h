// The "Customer Panel Setting" dialog (template 194): the 18-byte customer
// panel description of the panel record (name, size, cover thickness and
// material, key area), with its encoding and decoding as pure functions.
// Opened modally from the panel page's button 450, which the page never shows.
#pragma once

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>

namespace vcx {

struct Controller;

// The texts of the dialog's fields.
struct CustomerPanelTexts {
    std::array<QString, 8> name;
    QString sizeWhole, sizeTenths;   // inches, "%x" of the BCD digits
    bool wide = false;               // 16 : 9 (else 4 : 3)
    QString thickWhole, thickTenths; // millimetres
    bool glass = true;               // else polymer
    QString widthWhole, widthHundredths, heightWhole, heightHundredths;  // centimetres
};

// The fields as the dialog opens with them.
CustomerPanelTexts DecodeCustomerPanel(const uint8_t* description18);
// Stores the fields into the 18 bytes (bytes 12, 13 and bit 3 of byte 9 kept)
// when they are valid: one printable ASCII character per name field, a size of
// at most 99.9, a thickness of at most 15.9, every number digits only (a key
// area above 655.35 cm is stored as 655.35). Otherwise nothing is stored and
// *why says what.
bool EncodeCustomerPanel(const CustomerPanelTexts& t, uint8_t* description18, QString* why);

class CQVCSMPanelDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTemplate = 194;
    // `description18` is edited in place on OK; the thickness and material are
    // locked when the cover-lens choice differs from the controller's value.
    CQVCSMPanelDlg(uint8_t* description18, bool lensChanged, QWidget* parent);

    CustomerPanelTexts texts() const;
    void setTexts(const CustomerPanelTexts& t);
    // OK (1): encodes and closes, or says why not and stays open.
    void okClicked();

private:
    uint8_t* description_;
};

// Opens the dialog on the panel record's description through the modal
// service; true when it was accepted (the record's bytes then hold the new one).
bool RunCustomerPanelDialog(Controller& c, bool lensChanged, QWidget* parent);

} // namespace vcx
