#pragma once

#include "controls/isButton/color.h"
#include "controls/isButton/form_store.h"
#include "controls/isButton/property_bag.h"

#include <QAccessible>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <type_traits>

namespace orvana::controls {

class isButtonTip;
class isButtonAbout;
template <typename T> struct ButtonProperty;

// The owner-drawn command button: eleven styles, hover/press/focus looks, its own tooltip window
// and About box, and settings kept in a property bag. Every pixel is painted by the control with
// antialiasing off. GUI thread only.
class isButton : public QWidget {
    Q_OBJECT

public:
    enum StyleValue {
        StyleClassic = 0,
        StyleSoft = 1,
        StyleFlat = 2,
        StyleEtched = 3,
        StyleTinted = 4,
        StyleBevelGradient = 5,
        StyleSystemTheme = 6,
        StyleGradientFace = 7,
        StyleGradientChamfer = 8,
        StyleGradientDeep = 9,
        StyleRoundedSkin = 10,
    };
    enum VisualState { StateNormal = 1, StateHot = 2, StatePressed = 3, StateDisabled = 4 };
    // ButtonType: a check button's click toggles Value.
    enum ButtonTypeValue : int { ButtonPush = 0, ButtonCheck = 1 };
    // IconAlign: where the icon sits; every side but the centre keeps the style's margin.
    enum IconAlignValue : int {
        IconAlignCentre = 0,
        IconAlignLeft = 1,
        IconAlignRight = 2,
        IconAlignTop = 3,
        IconAlignBottom = 4,
    };
    // The caption's text layout, bit for bit the classic DrawText flags (no bit: left, top).
    enum CaptionFormatFlag : int {
        TextCentre = 0x01,
        TextRight = 0x02,
        TextVCentre = 0x04,
        TextBottom = 0x08,
        TextWordBreak = 0x10,
        TextSingleLine = 0x20,
    };
    Q_DECLARE_FLAGS(CaptionFormatFlags, CaptionFormatFlag)

    // The caption of a new control is its instance name, which also becomes the objectName.
    explicit isButton(QWidget* parent = nullptr,
                      const QString& instanceName = QStringLiteral("isButton1"));
    ~isButton() override;

    // Properties. Each setter reports the change through PropertyChanged under its own name.
    [[nodiscard]] int Style() const { return m_style; }
    void SetStyle(int value);
    [[nodiscard]] QString Caption() const { return m_caption; }
    void SetCaption(const QString& value);
    [[nodiscard]] QPixmap Icon() const { return m_icon; }
    void SetIcon(const QPixmap& value);
    [[nodiscard]] IconAlignValue IconAlign() const { return m_iconAlign; }
    void SetIconAlign(IconAlignValue value);
    [[nodiscard]] int IconSize() const { return m_iconSize; }
    // Keeps the low 16 bits, as a 16-bit field does.
    void SetIconSize(int value);
    [[nodiscard]] int CaptionAlign() const { return m_captionAlign; }
    void SetCaptionAlign(int value);
    [[nodiscard]] int NonThemeStyle() const { return m_nonThemeStyle; }
    void SetNonThemeStyle(int value);
    [[nodiscard]] bool Enabled() const { return m_enabled; }
    // Puts the look back to normal, then enables or disables input of the widget itself.
    void SetEnabled(bool value);
    [[nodiscard]] bool ShowFocus() const { return m_showFocus; }
    void SetShowFocus(bool value);
    [[nodiscard]] bool UseCustomColors() const { return m_useCustomColors; }
    void SetUseCustomColors(bool value);
    [[nodiscard]] OleColor BackColor() const { return m_backColor; }
    void SetBackColor(OleColor value);
    [[nodiscard]] OleColor HighlightColor() const { return m_highlightColor; }
    void SetHighlightColor(OleColor value);
    [[nodiscard]] OleColor FontColor() const { return m_fontColor; }
    void SetFontColor(OleColor value);
    [[nodiscard]] OleColor FontHighlightColor() const { return m_fontHighlightColor; }
    void SetFontHighlightColor(OleColor value);
    [[nodiscard]] QString ToolTipText() const { return m_toolTipText; }
    void SetToolTipText(const QString& value);
    [[nodiscard]] QString ToolTipTitle() const { return m_toolTipTitle; }
    void SetToolTipTitle(const QString& value);
    [[nodiscard]] int ToolTipIcon() const { return m_toolTipIcon; }
    void SetToolTipIcon(int value);
    [[nodiscard]] int ToolTipType() const { return m_toolTipType; }
    void SetToolTipType(int value);
    [[nodiscard]] OleColor ToolTipBackColor() const { return m_toolTipBackColor; }
    void SetToolTipBackColor(OleColor value);
    [[nodiscard]] OleColor ToolTipForeColor() const { return m_toolTipForeColor; }
    void SetToolTipForeColor(OleColor value);
    [[nodiscard]] QFont Font() const { return font(); }
    void SetFont(const QFont& value);
    [[nodiscard]] ButtonTypeValue ButtonType() const { return m_buttonType; }
    void SetButtonType(ButtonTypeValue value);
    [[nodiscard]] bool Value() const { return m_value; }
    void SetValue(bool value);
    [[nodiscard]] OleColor MaskColor() const { return m_maskColor; }
    void SetMaskColor(OleColor value);
    [[nodiscard]] bool UseMaskColor() const { return m_useMaskColor; }
    void SetUseMaskColor(bool value);
    [[nodiscard]] int MousePointer() const { return m_mousePointer; }
    void SetMousePointer(int value);

    // Methods.
    void Refresh();
    void About();
    [[nodiscard]] static QString Version() { return QStringLiteral("3.4.0"); }
    // Draws a grey copy of the icon at x, y scaled to width x height; false when nothing was
    // drawn (no active painter or no icon).
    static bool PaintIconGrayscale(QPainter* dc, const QPixmap& icon, int x, int y, int height,
                                   int width);
    // Opens a document or address with the desktop's handler; true when it was handed over.
    // The control never calls it itself.
    static bool OpenLink(const QString& link);
    // The hook's callback, run after the widget has handled one of the four watched events
    // (pointer moved, pointer left, style changed, palette changed). handled and result are left
    // untouched so the widget's own result stands.
    void zSubclass_Proc(bool before, bool& handled, bool& result, QEvent* message);

    // Persistence. ReadProperties marks the look normal and reads every key with its default;
    // WriteProperties writes every key in the stored order with its write default.
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;
    // A whole stored control: extent (HIMETRIC), the host's tooltip text, then the properties.
    void LoadStored(const StoredControl& stored);
    [[nodiscard]] StoredControl SaveStored() const;

    // Ambient properties of the host.
    [[nodiscard]] bool DisplayAsDefault() const { return m_displayAsDefault; }
    void SetDisplayAsDefault(bool value);
    // False while a form designer shows the control (hot look, no hook). Default true.
    [[nodiscard]] bool UserMode() const { return m_userMode; }
    void SetUserMode(bool value);

    // Whether a visual-styles theme is active for style 6. Off makes style 6 controls fall back
    // to NonThemeStyle at their next paint. Application-wide, GUI thread only.
    static void SetThemeActive(bool active);
    [[nodiscard]] static bool ThemeActive();
    // Delay before a built tooltip pops up (default 400 ms).
    static void SetToolTipDelay(int milliseconds);

    // Inspection of the state record.
    [[nodiscard]] int State() const { return m_state; }
    [[nodiscard]] bool Focused() const { return m_focused; }
    [[nodiscard]] bool Shown() const { return m_shown; }
    [[nodiscard]] bool MouseInside() const { return m_mouseInside; }
    [[nodiscard]] int LastMouseButton() const { return m_lastMouseButton; }
    [[nodiscard]] CaptionFormatFlags CaptionFormat() const { return m_captionFormat; }
    [[nodiscard]] QRect InnerRect() const { return m_innerRect; }
    // The tooltip window while the pointer is over the control, else nullptr.
    [[nodiscard]] isButtonTip* ToolTipWindow() const;
    [[nodiscard]] isButtonAbout* AboutBox() const { return m_about; }
    // The last painted frame.
    [[nodiscard]] const QImage& Frame() const { return m_frame; }
    // How many frames have been rendered since construction: one per repaint of the look.
    [[nodiscard]] quint64 RenderCount() const { return m_renderCount; }

Q_SIGNALS:
    void Click();
    void MouseEnter();
    void MouseLeave();
    void PropertyChanged(const QString& name);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    friend class isButtonAccessible;
    // The property table (is_button_properties.h).
    struct Properties;

    // What assistive technology sees of a check button.
    struct CheckState {
        bool checkable;
        bool checked;
    };

    // The accessibility Press: the click of the access key, run from the event loop.
    void AccessiblePress();
    void accessKeyClick();
    // What every table-driven setter does with its row (is_button_properties.h).
    template <typename T>
    void set(const ButtonProperty<T>& property, const std::type_identity_t<T>& value);
    void setCaptionRecord(const QString& value);
    void setToolTipRecord(const QString& value);
    // Keep the low 16 bits, as the 16-bit fields do; the pointer also goes to the surface.
    void setIconSizeRecord(const int& value);
    void setMousePointerRecord(const int& value);
    void followToolTipText();
    [[nodiscard]] CheckState checkState() const;
    void announceCheckState(CheckState before);
    void notifyState(QAccessible::State changed);
    void relayout();
    void applyRegion();
    void mouseDownStep(int button);
    void mouseUpStep(int button);
    void clickStep(bool raise);
    void buildToolTip();
    void removeToolTip();
    void updateAccessKey();
    void changed(QStringView name);
    void render();
    // Face and frame of the style (or of the fallback's plain face); returns the icon margin.
    int paintFace(QPainter& p, QImage& image);
    // The icon's top-left corner for the style's margin, one pixel down and right when pressed.
    [[nodiscard]] QPoint iconPosition(int margin) const;
    // The grey shadow a hot style-4 icon casts where it would sit; the icon then moves up-left.
    // masked is the icon on the mask colour when the mask colour is used.
    void paintIconShadow(QPainter& p, const QImage& image, const QImage& masked, QPoint at) const;
    void paintIcon(QPainter& p, const QImage& image, int margin);
    void paintCaption(QPainter& p);
    [[nodiscard]] OleColor sys(SysColor which) const;

    bool m_focused = false;
    bool m_shown = false;
    int m_state = StateNormal;
    int m_style = StyleClassic;
    int m_nonThemeStyle = 0;
    QRect m_innerRect;
    QString m_caption;
    int m_captionAlign = 0;
    IconAlignValue m_iconAlign = IconAlignCentre;
    QPixmap m_icon;
    int m_iconSize = 16;
    bool m_enabled = true;
    bool m_showFocus = false;
    bool m_useCustomColors = false;
    OleColor m_backColor = 0;
    OleColor m_highlightColor = 0;
    OleColor m_fontColor = 0;
    OleColor m_fontHighlightColor = 0;
    QString m_toolTipText;
    QString m_toolTipTitle;
    int m_toolTipIcon = 0;
    int m_toolTipType = 1;
    OleColor m_toolTipBackColor = 0;
    OleColor m_toolTipForeColor = 0;
    QPointer<isButtonTip> m_toolTipWindow;
    ButtonTypeValue m_buttonType = ButtonPush;
    bool m_value = false;
    OleColor m_maskColor = 0;
    bool m_useMaskColor = false;
    int m_mousePointer = 0;
    bool m_hooked = false;
    bool m_mouseInside = false;
    CaptionFormatFlags m_captionFormat = CaptionFormatFlags(TextCentre) | TextWordBreak;
    int m_lastMouseButton = 0;
    bool m_inDoubleClick = false;
    bool m_hidingHostTip = false;
    int m_accessKeyId = 0;
    bool m_displayAsDefault = false;
    bool m_userMode = true;
    OleColor m_surfaceBack = 0;
    QImage m_frame;
    // Set when something outside Refresh changed the look (font, size), so the next paint
    // renders; Refresh renders at once and clears it.
    bool m_frameStale = true;
    quint64 m_renderCount = 0;
    QTimer m_tipTimer;
    isButtonAbout* m_about = nullptr;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(isButton::CaptionFormatFlags)

} // namespace orvana::controls
