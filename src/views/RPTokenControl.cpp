#include "views/RPTokenControl.h"

#include "foundation/KeyedArchive.h"
#include "foundation/UiServices.h"
#include "views/RPTokenControlDelegate.h"

#include <QApplication>
#include <QLineEdit>
#include <QMutexLocker>
#include <QScrollArea>

const QString& RPTokenControl::tokenPasteboardType()
{
    static const QString type = QStringLiteral("application/x-lumetta-token");
    return type;
}

const QString& RPTokenControl::tabularTokenPasteboardType()
{
    static const QString type = QStringLiteral("application/x-lumetta-tabular-token");
    return type;
}

const QString& RPTokenControl::stringPasteboardType()
{
    static const QString type = QStringLiteral("text/plain");
    return type;
}

const QString& RPTokenControl::tabularTextPasteboardType()
{
    static const QString type = QStringLiteral("text/tab-separated-values");
    return type;
}

const QString& RPTokenControl::userDeletedTokensNotification()
{
    static const QString name = QStringLiteral("RPTokenControlUserDeletedTokensNotification");
    return name;
}

const QString& RPTokenControl::userDeletedTokensKey()
{
    static const QString key = QStringLiteral("RPTokenControlUserDeletedTokensKey");
    return key;
}

RPTokenControl::RPTokenControl(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    // A placed control replaces disallowed characters with "_"; an archive may
    // carry another replacement.
    replacementString_ = QStringLiteral("_");
    commonInit();
}

RPTokenControl::~RPTokenControl() = default;

void RPTokenControl::commonInit()
{
    objectValue_ = RPTokenValue::marker(RPTokenValue::Kind::NoTokensMarker);
    selectedIndexSet_.clear();
    setEditability(1);
    maxTokensToDisplay_ = std::numeric_limits<qint64>::max();
    minFontSize_ = 11.0f;
    maxFontSize_ = 40.0f;
    fixedFontSize_ = 0.0;
    backgroundWhiteness_ = 1.0f;
    tokenColorScheme_ = 0;
    cornerRadiusFactor_ = 0.5f;
    widthPaddingMultiplier_ = 3.0f;
    invalidateLayout();
}

// --- value -----------------------------------------------------------------

RPTokenValue RPTokenControl::objectValue() const
{
    QMutexLocker locker(&lock_);
    return objectValue_;
}

void RPTokenControl::setObjectValue(const std::optional<RPTokenValue>& value)
{
    const RPTokenValue newValue = value.value_or(RPTokenValue::marker(RPTokenValue::Kind::NoTokensMarker));
    const std::optional<QSet<QString>> newStrings = newValue.extractStrings();
    bool changed = false;
    {
        QMutexLocker locker(&lock_);
        const std::optional<QSet<QString>> oldStrings = objectValue_.extractStrings();
        if (!newStrings) {
            changed = oldStrings.has_value() || !(newValue == objectValue_);
        } else {
            changed = !oldStrings || *oldStrings != *newStrings;
        }
        objectValue_ = newValue;
    }
    if (changed) {
        emit objectValueChanged();
        deselectAllIndexes();
    }
    invalidateLayout();
    tokenBeingEdited_.clear();
    indexOfFramedTokenBeingEdited_ = NotFound;
    hideTextField();
}

std::optional<RPTokenValue> RPTokenControl::tokensCollection() const
{
    const RPTokenValue value = objectValue();
    if (!value.isCollection()) {
        return std::nullopt;
    }
    return value;
}

QStringList RPTokenControl::tokensArray() const
{
    return objectValue().texts();
}

RPTokenValue RPTokenControl::tokensSet() const
{
    return objectValue().tokensSet();
}

QStringList RPTokenControl::selectedTokens() const
{
    QStringList texts;
    for (const qint64 index : selectedIndexSet_) {
        if (index < framedTokens_.size()) {
            texts.append(framedTokens_[index].text());
        }
    }
    return texts;
}

// --- properties ------------------------------------------------------------

void RPTokenControl::setMaxTokensToDisplay(qint64 max)
{
    maxTokensToDisplay_ = max;
    deselectAllIndexes();
    invalidateLayout();
}

void RPTokenControl::setFancyEffects(qint64 effects)
{
    fancyEffects_ = effects;
    emit fancyEffectsChanged();
    update();
}

void RPTokenControl::setBackgroundWhiteness(float whiteness)
{
    backgroundWhiteness_ = whiteness;
    update();
}

void RPTokenControl::setBackgroundAlpha(float alpha)
{
    backgroundAlpha_ = alpha;
    update();
}

void RPTokenControl::setDraweBorder(bool draw)
{
    drawBorder_ = draw;
    update();
}

void RPTokenControl::setTokenColorScheme(qint64 scheme)
{
    tokenColorScheme_ = scheme;
    emit tokenColorSchemeChanged();
    update();
}

void RPTokenControl::setCornerRadiusFactor(float factor)
{
    cornerRadiusFactor_ = factor;
    emit cornerRadiusFactorChanged();
    invalidateLayout();
}

void RPTokenControl::setWidthPaddingMultiplier(float multiplier)
{
    widthPaddingMultiplier_ = multiplier;
    emit widthPaddingMultiplierChanged();
    invalidateLayout();
}

void RPTokenControl::setAppendCountsToStrings(bool append)
{
    appendCountsToStrings_ = append;
    emit appendCountsToStringsChanged();
    invalidateLayout();
}

void RPTokenControl::setMinFontSize(float size)
{
    minFontSize_ = size;
    invalidateLayout();
}

void RPTokenControl::setMaxFontSize(float size)
{
    maxFontSize_ = size;
    invalidateLayout();
}

double RPTokenControl::fixedFontSize() const
{
    QMutexLocker locker(&lock_);
    return fixedFontSize_;
}

void RPTokenControl::setFixedFontSize(double size)
{
    {
        QMutexLocker locker(&lock_);
        fixedFontSize_ = size;
    }
    emit fixedFontSizeChanged();
    invalidateLayout();
}

float RPTokenControl::defaultFontSize() const
{
    const double fixed = fixedFontSize();
    return fixed == 0.0 ? minFontSize_ : static_cast<float>(fixed);
}

float RPTokenControl::fontSizeForToken(const RPCountedToken& token, const QHash<qint64, float>& sizes) const
{
    const auto found = sizes.constFind(token.count());
    return found != sizes.cend() ? found.value() : defaultFontSize();
}

void RPTokenControl::setTextMeasure(TokenTextMeasure measure)
{
    measure_ = std::move(measure);
    measured_.clear();
    invalidateLayout();
}

QChar RPTokenControl::tokenizingCharacter() const
{
    QMutexLocker locker(&lock_);
    return tokenizingCharacter_;
}

void RPTokenControl::setTokenizingCharacter(QChar character)
{
    QMutexLocker locker(&lock_);
    tokenizingCharacterSet_ = QString(character);
    tokenizingCharacter_ = character;
}

QString RPTokenControl::tokenizingCharacterSet() const
{
    QMutexLocker locker(&lock_);
    return tokenizingCharacterSet_;
}

void RPTokenControl::setNoTokensPlaceholder(const QString& text)
{
    noTokensPlaceholder_ = text;
    update();
}

void RPTokenControl::setNoSelectionPlaceholder(const QString& text)
{
    noSelectionPlaceholder_ = text;
    update();
}

void RPTokenControl::setMultipleValuesPlaceholder(const QString& text)
{
    multipleValuesPlaceholder_ = text;
    update();
}

void RPTokenControl::setNotApplicablePlaceholder(const QString& text)
{
    notApplicablePlaceholder_ = text;
    update();
}

void RPTokenControl::beep() const
{
    if (UiServices* services = UiServices::shared()) {
        services->beep();
    } else {
        QApplication::beep();
    }
}

QScrollArea* RPTokenControl::enclosingScrollArea() const
{
    for (QWidget* ancestor = parentWidget(); ancestor != nullptr; ancestor = ancestor->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(ancestor)) {
            return area;
        }
        if (ancestor->isWindow()) {
            break;
        }
    }
    return nullptr;
}

bool RPTokenControl::focusNextPrevChild(bool next)
{
    // From level 2 on a Tab is typed into a new token, so it must not move focus.
    if (editability_ >= 2) {
        return false;
    }
    return QWidget::focusNextPrevChild(next);
}

// --- archive ---------------------------------------------------------------

void RPTokenControl::registerArchiveClass()
{
    KeyedClassRegistry::registerClass<RPTokenControl>(QStringLiteral("RPTokenControl"));
}

void RPTokenControl::encode(KeyedArchiver& archiver) const
{
    archiver.encodeBool(QStringLiteral("appendCountsToStrings"), appendCountsToStrings_);
    archiver.encodeBool(QStringLiteral("showsCountsAsToolTips"), showsCountsAsToolTips_);
    archiver.encodeBool(QStringLiteral("canDeleteTags"), canDeleteTags_);
    archiver.encodeBool(QStringLiteral("isDoingLayout"), isDoingLayout_);
    archiver.encodeInt32(QStringLiteral("tokenizingCharacter"), tokenizingCharacter().unicode());
    archiver.encodeInt64(QStringLiteral("firstTokenToDisplay"), firstTokenToDisplay_);
    archiver.encodeInt64(QStringLiteral("fancyEffects"), fancyEffects_);
    // The delegate, the drag image and the text field have no archived form;
    // laid-out tokens are rebuilt by the next layout, so they are written empty.
    archiver.encodeList(QStringLiteral("framedTokens"), QList<QString>());
    archiver.encodeList(QStringLiteral("truncatedTokens"), QList<QString>());
    archiver.encodeString(QStringLiteral("disallowedCharacterSet"), disallowedCharacterSet_);
    archiver.encodeString(QStringLiteral("tokenizingCharacterSet"), tokenizingCharacterSet());
    archiver.encodeString(QStringLiteral("replacementString"), replacementString_);
    archiver.encodeString(QStringLiteral("noTokensPlaceholder"), noTokensPlaceholder_);
    archiver.encodeString(QStringLiteral("noSelectionPlaceholder"), noSelectionPlaceholder_);
    archiver.encodeString(QStringLiteral("multipleValuesPlaceholder"), multipleValuesPlaceholder_);
    archiver.encodeString(QStringLiteral("notApplicablePlaceholder"), notApplicablePlaceholder_);
    archiver.encodeString(QStringLiteral("linkDragType"), linkDragType());
}

void RPTokenControl::decode(KeyedUnarchiver& unarchiver)
{
    appendCountsToStrings_ = unarchiver.decodeBool(QStringLiteral("appendCountsToStrings"));
    showsCountsAsToolTips_ = unarchiver.decodeBool(QStringLiteral("showsCountsAsToolTips"));
    canDeleteTags_ = unarchiver.decodeBool(QStringLiteral("canDeleteTags"));
    isDoingLayout_ = unarchiver.decodeBool(QStringLiteral("isDoingLayout"));
    tokenizingCharacter_ = QChar(static_cast<char16_t>(unarchiver.decodeInt32(QStringLiteral("tokenizingCharacter"))));
    firstTokenToDisplay_ = unarchiver.decodeInt64(QStringLiteral("firstTokenToDisplay"));
    fancyEffects_ = unarchiver.decodeInt64(QStringLiteral("fancyEffects"));
    framedTokens_.clear();
    truncatedTokens_.clear();
    disallowedCharacterSet_ = unarchiver.decodeString(QStringLiteral("disallowedCharacterSet"));
    tokenizingCharacterSet_ = unarchiver.decodeString(QStringLiteral("tokenizingCharacterSet"));
    if (unarchiver.containsValue(QStringLiteral("replacementString"))) {
        replacementString_ = unarchiver.decodeString(QStringLiteral("replacementString"));
    }
    noTokensPlaceholder_ = unarchiver.decodeString(QStringLiteral("noTokensPlaceholder"));
    noSelectionPlaceholder_ = unarchiver.decodeString(QStringLiteral("noSelectionPlaceholder"));
    multipleValuesPlaceholder_ = unarchiver.decodeString(QStringLiteral("multipleValuesPlaceholder"));
    notApplicablePlaceholder_ = unarchiver.decodeString(QStringLiteral("notApplicablePlaceholder"));
    linkDragType_ = unarchiver.decodeString(QStringLiteral("linkDragType"));
    commonInit();
}
