#pragma once

#include "foundation/KeyedCodable.h"
#include "views/FramedToken.h"
#include "views/RPTokenValue.h"
#include "views/TokenAttributes.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QPointer>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <set>

class QLineEdit;
class QMenu;
class QMimeData;
class QScrollArea;
class RPTokenControlDelegate;

// A token cloud: short texts shown as rounded boxes in justified lines, in
// alphabetical order, each sized by how often it occurs. Tokens can be
// selected with mouse and keyboard, deleted, typed in place, dragged out and
// dropped in.
//
// Callers rely on:
// - The value change signal fires only when the set of token texts changes; a
//   change of counts alone lays out again and keeps the selection.
// - Every change that affects layout lays out at once; drawing and hit-testing
//   read the last layout (framedTokens()). Selection indexes refer to it.
// - Inside a QScrollArea (not widget-resizable) the control sizes itself to its
//   content and shows every token; elsewhere the tokens that do not fit are
//   replaced by an ellipsis token and listed in truncatedTokens().
class RPTokenControl : public QWidget, public KeyedCodable {
    Q_OBJECT
    Q_PROPERTY(RPTokenValue value READ objectValue WRITE setValue NOTIFY objectValueChanged)
    Q_PROPERTY(double fixedFontSize READ fixedFontSize WRITE setFixedFontSize NOTIFY fixedFontSizeChanged)
    Q_PROPERTY(
        float cornerRadiusFactor READ cornerRadiusFactor WRITE setCornerRadiusFactor NOTIFY cornerRadiusFactorChanged)
    Q_PROPERTY(float widthPaddingMultiplier READ widthPaddingMultiplier WRITE setWidthPaddingMultiplier NOTIFY
            widthPaddingMultiplierChanged)
    Q_PROPERTY(bool appendCountsToStrings READ appendCountsToStrings WRITE setAppendCountsToStrings NOTIFY
            appendCountsToStringsChanged)
    Q_PROPERTY(qint64 tokenColorScheme READ tokenColorScheme WRITE setTokenColorScheme NOTIFY tokenColorSchemeChanged)
    Q_PROPERTY(qint64 fancyEffects READ fancyEffects WRITE setFancyEffects NOTIFY fancyEffectsChanged)
    Q_PROPERTY(QStringList selectedTokens READ selectedTokens NOTIFY selectedIndexSetChanged)

public:
    using IndexSet = std::set<qint64>;
    static constexpr qint64 NotFound = std::numeric_limits<qint64>::max();

    static const QString& tokenPasteboardType();
    static const QString& tabularTokenPasteboardType();
    static const QString& stringPasteboardType();
    static const QString& tabularTextPasteboardType();
    static const QString& userDeletedTokensNotification();
    static const QString& userDeletedTokensKey();

    explicit RPTokenControl(QWidget* parent = nullptr);
    ~RPTokenControl() override;

    // Value. A null value stores the no-tokens marker.
    RPTokenValue objectValue() const;
    void setObjectValue(const std::optional<RPTokenValue>& value);
    RPTokenValue value() const { return objectValue(); }
    void setValue(const RPTokenValue& value) { setObjectValue(value); }
    std::optional<RPTokenValue> tokensCollection() const;
    // Every text of an array, each text of a set; empty without a collection.
    QStringList tokensArray() const;
    RPTokenValue tokensSet() const;
    QStringList selectedTokens() const;
    const QList<RPCountedToken>& truncatedTokens() const { return truncatedTokens_; }
    const QList<FramedToken>& framedTokens() const { return framedTokens_; }

    // Look and layout.
    qint64 maxTokensToDisplay() const { return maxTokensToDisplay_; }
    void setMaxTokensToDisplay(qint64 max);
    qint64 firstTokenToDisplay() const { return firstTokenToDisplay_; }
    qint64 fancyEffects() const { return fancyEffects_; }
    void setFancyEffects(qint64 effects);
    float backgroundWhiteness() const { return backgroundWhiteness_; }
    void setBackgroundWhiteness(float whiteness);
    float backgroundAlpha() const { return backgroundAlpha_; }
    void setBackgroundAlpha(float alpha);
    bool drawsBorder() const { return drawBorder_; }
    void setDraweBorder(bool draw);
    qint64 tokenColorScheme() const { return tokenColorScheme_; }
    void setTokenColorScheme(qint64 scheme);
    float cornerRadiusFactor() const { return cornerRadiusFactor_; }
    void setCornerRadiusFactor(float factor);
    float widthPaddingMultiplier() const { return widthPaddingMultiplier_; }
    void setWidthPaddingMultiplier(float multiplier);
    bool appendCountsToStrings() const { return appendCountsToStrings_; }
    void setAppendCountsToStrings(bool append);
    bool showsCountsAsToolTips() const { return showsCountsAsToolTips_; }
    void setShowsCountsAsToolTips(bool shows) { showsCountsAsToolTips_ = shows; }
    float minFontSize() const { return minFontSize_; }
    void setMinFontSize(float size);
    float maxFontSize() const { return maxFontSize_; }
    void setMaxFontSize(float size);
    double fixedFontSize() const;
    void setFixedFontSize(double size);
    // The minimum font size, or the fixed one when set.
    float defaultFontSize() const;
    // The size mapped to the token's count, else defaultFontSize().
    float fontSizeForToken(const RPCountedToken& token, const QHash<qint64, float>& sizes) const;
    bool useList() const { return useList_; }
    void setUseList(bool use) { useList_ = use; }
    // Measures token texts; the default measures in the application font.
    void setTextMeasure(TokenTextMeasure measure);

    // Typing rules.
    QChar tokenizingCharacter() const;
    void setTokenizingCharacter(QChar character);
    QString tokenizingCharacterSet() const;
    QString disallowedCharacterSet() const { return disallowedCharacterSet_; }
    void setDisallowedCharacterSet(const QString& characters) { disallowedCharacterSet_ = characters; }
    QString replacementString() const { return replacementString_; }
    void setReplacementString(const QString& replacement) { replacementString_ = replacement; }
    int32_t editability() const { return editability_; }
    void setEditability(int32_t level);
    QString linkDragType() const;
    void setLinkDragType(const QString& type);
    QStringList registeredDragTypes() const { return registeredTypes_; }
    QImage dragImage() const { return dragImage_; }
    void setDragImage(const QImage& image) { dragImage_ = image; }

    // Texts drawn when the value is a marker.
    QString noTokensPlaceholder() const { return noTokensPlaceholder_; }
    void setNoTokensPlaceholder(const QString& text);
    QString noSelectionPlaceholder() const { return noSelectionPlaceholder_; }
    void setNoSelectionPlaceholder(const QString& text);
    QString multipleValuesPlaceholder() const { return multipleValuesPlaceholder_; }
    void setMultipleValuesPlaceholder(const QString& text);
    QString notApplicablePlaceholder() const { return notApplicablePlaceholder_; }
    void setNotApplicablePlaceholder(const QString& text);

    RPTokenControlDelegate* delegate() const { return delegate_; }
    void setDelegate(RPTokenControlDelegate* delegate) { delegate_ = delegate; }

    // Selection (indexes into framedTokens()).
    IndexSet selectedIndexSet() const { return selectedIndexSet_; }
    void setSelectedIndexSet(const IndexSet& indexes);
    void selectIndex(qint64 index);
    void deselectIndex(qint64 index);
    void selectIndexesInRange(qint64 location, qint64 length);
    void deselectAllIndexes();
    void selectAllIndexes();
    IndexSet deselectedIndexesSet() const;
    bool isSelectedIndex(qint64 index) const;
    bool isSelectedFramedToken(const FramedToken& token) const;
    // The index of the first framed token whose box holds the point, else NotFound.
    qint64 indexOfTokenAtPoint(const QPointF& point) const;
    const FramedToken* tokenAtPoint(const QPointF& point) const;
    void scrollFramedTokenToVisible(const FramedToken* token);
    void scrollIndexToVisible(qint64 index);
    bool ellipsisTokenIsDisplayed() const;
    // Selects, extends or toggles by the modifiers; past either end pages the
    // window of shown tokens (or beeps when it cannot).
    void changeSelectionPerUserActionAtIndex(qint64 index, Qt::KeyboardModifiers modifiers);
    qint64 indexOfTokenClosestToPoint(const QPointF& point, qint64 excludeIndex, bool excludeHigherNotLower) const;

    // Typing a new token.
    QString tokenBeingEdited() const { return tokenBeingEdited_; }
    qint64 indexOfFramedTokenBeingEdited() const { return indexOfFramedTokenBeingEdited_; }
    void beginEditingNewTokenWithString(const QString& text);
    QLineEdit* textField();

    // Deleting, menu, pasteboard.
    bool deleteSelectedTokens();
    QString menuItemTitleToDeleteTokenControl(qint64 count, const QString& tokenName) const;
    // The context menu for a click at `point` (updating the selection first);
    // null when the control is disabled or no token is under the pointer.
    std::unique_ptr<QMenu> menuForEvent(const QPointF& point);
    // The pasteboard contents for dragging the selected tokens; null without a selection.
    std::unique_ptr<QMimeData> mimeDataForSelection() const;
    bool acceptsDrag(const QMimeData* data, bool updating);
    bool performDragOperation(const QMimeData* data);

    // Drawing.
    TokenAttributes normalAttributes() const;
    TokenAttributes selectedAttributes() const;
    // The tooltip of a framed token; the control's own tooltip otherwise.
    QString toolTipForToken(const FramedToken& token) const;
    // Null when no token is under the point.
    QString toolTipTextAt(const QPointF& point) const;

    // Archive.
    static void registerArchiveClass();
    QString className() const override { return QStringLiteral("RPTokenControl"); }
    void encode(KeyedArchiver& archiver) const override;
    void decode(KeyedUnarchiver& unarchiver) override;

signals:
    void objectValueChanged();
    void selectedIndexSetChanged();
    void fixedFontSizeChanged();
    void cornerRadiusFactorChanged();
    void widthPaddingMultiplierChanged();
    void appendCountsToStringsChanged();
    void tokenColorSchemeChanged();
    void fancyEffectsChanged();
    // The control's action: the user changed the selection with the mouse.
    void action();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct Line;

    void commonInit();
    void invalidateLayout();
    void doLayout();
    QHash<qint64, float> fontSizesForWindow(const QList<RPCountedToken>& window) const;
    QSizeF boxSize(const RPCountedToken& token, float fontSize) const;
    void layoutLine(QList<FramedToken>& line, double y, double h, float gap, bool focusRingFirst);
    void truncateLine(Line& current, double& x, const QList<RPCountedToken>& window, qsizetype from,
        const QHash<qint64, float>& sizes);
    void sizeToContent(double contentHeight);
    QScrollArea* enclosingScrollArea() const;
    void redrawIndex(qint64 index);
    void storeSelection(const IndexSet& indexes);
    void beep() const;

    void navigate(int key, Qt::KeyboardModifiers modifiers);
    void typeSelect(const QString& typed);
    void changeSelectionPerMouseEvent(const QPointF& point, Qt::KeyboardModifiers modifiers);
    void updateSelectionForEvent(const QPointF& point);

    void controlTextDidChange(const QString& text);
    void controlTextDidEndEditing();
    void updateTextFieldFrame();
    void setEditedText(const QString& text);
    void hideTextField();

    void registerForDefaultDraggedTypes();
    void registerTypes(const QStringList& types);
    void unregisterDraggedTypes();
    bool pointHasOvercomeHysteresis(const QPointF& point) const;
    void drawPlaceholder(QPainter& painter);
    void drawTokens(QPainter& painter, const QRectF& dirty);
    void drawFocusRing2(QPainter& painter);

    mutable QRecursiveMutex lock_;
    RPTokenValue objectValue_;
    qint64 maxTokensToDisplay_ = 0;
    qint64 firstTokenToDisplay_ = 0;
    qint64 fancyEffects_ = 0;
    float backgroundWhiteness_ = 0.0f;
    float backgroundAlpha_ = 0.0f;
    qint64 tokenColorScheme_ = 0;
    float cornerRadiusFactor_ = 0.0f;
    float widthPaddingMultiplier_ = 0.0f;
    qint64 lastSelectedIndex_ = NotFound;
    bool appendCountsToStrings_ = false;
    bool showsCountsAsToolTips_ = false;
    float minFontSize_ = 0.0f;
    float maxFontSize_ = 0.0f;
    double fixedFontSize_ = 0.0;
    int32_t editability_ = 0;
    bool canDeleteTags_ = false;
    QImage dragImage_;
    QList<FramedToken> framedTokens_;
    bool laidOut_ = false;
    QList<RPCountedToken> truncatedTokens_;
    QString disallowedCharacterSet_;
    QString replacementString_;
    QString tokenizingCharacterSet_;
    QChar tokenizingCharacter_;
    QString noTokensPlaceholder_;
    QString noSelectionPlaceholder_;
    QString multipleValuesPlaceholder_;
    QString notApplicablePlaceholder_;
    RPTokenControlDelegate* delegate_ = nullptr;
    QString linkDragType_;
    QStringList registeredTypes_;
    IndexSet selectedIndexSet_;
    QString tokenBeingEdited_;
    // The value as it was when typing began; an edit ended empty goes back to it.
    RPTokenValue valueBeforeEditing_;
    bool endingEdit_ = false;
    qint64 indexOfFramedTokenBeingEdited_ = NotFound;
    QPointer<QLineEdit> textField_;
    bool isDoingLayout_ = false;
    QPointF mouseDownPoint_;
    bool drawBorder_ = false;
    bool useList_ = false;
    TokenTextMeasure measure_;
    // Text sizes by text and font size: a resize lays out again but measures
    // nothing new. Emptied when the measure changes or it grows large.
    mutable QHash<QPair<QString, float>, QSizeF> measured_;
};
