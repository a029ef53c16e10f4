#include "gps/TAVGPSViewController.h"

#include "foundation/UiServices.h"
#include "gps/LocalSearchService.h"
#include "gps/VXMapView.h"
#include "webmapkit/GMKMapView.h"

#include <QLineEdit>

void TAVGPSViewController::clickSearch()
{
    const QString text = fldSearch_->text();
    if (text.isEmpty()) {
        UiServices::shared()->beep();
        return;
    }
    startSeach_ = true;
    if (getSearchEngine() != 0) {
        searchByWebMap(text);
    } else {
        searchByAppleMap(text);
    }
}

void TAVGPSViewController::searchByAppleMap(const QString& text)
{
    // The answer may come after the tab is gone.
    QPointer<TAVGPSViewController> self(this);
    localSearch_->search(text, [self, text](const std::optional<MapRegion>& region) {
        if (!self) {
            return;
        }
        if (region) {
            self->appleMapView_->setRegion(*region, true);
        } else {
            self->searchByWebMap(text);
        }
    });
}

void TAVGPSViewController::searchByWebMap(const QString& text)
{
    QPointer<TAVGPSViewController> self(this);
    webMapView_->showAddress(text, [self](int errorCode, const QString& address, const MapCoordinate& coordinate) {
        Q_UNUSED(address);
        if (!self) {
            return;
        }
        if (errorCode != 0) {
            self->showSearchFailure(errorCode);
            return;
        }
        self->appleMapView_->setCenterCoordinate(coordinate, kZoomLevel, true);
        const TAVExifDataPtr& record = self->imgExifData();
        if (self->mpaNewImgLocate_ && self->startSeach_ && record && record->isGPSModified()
            && self->isMapCenterCoorDinateVaild()) {
            self->doAddPin(coordinate);
            self->startSeach_ = false;
            self->endUserEdit();
        }
    });
}

void TAVGPSViewController::showSearchFailure(int errorCode)
{
    // The page's code for a service that answered that it knows no such place.
    constexpr int kNothingFound = 1;
    showTips(errorCode == kNothingFound ? QStringLiteral("No place found by that name.")
                                        : QStringLiteral("Search failed, please check your network."));
}
