// TAcquireImage: acquires one picture from a scanner through the scanner
// library (SANE), which it loads while the program runs, so the program starts
// and runs without it. The picture is handed over as an image, as JPEG bytes,
// as a device-independent bitmap or on the clipboard. Callers go through one
// acquisition in this order, on the GUI thread: LoadTwainModule,
// OpenSourceManager, GetSource or SelectSource, OpenSource, one Acquire...,
// CloseTwainSession, UnLoadTwainModule. The frames are read on a thread of
// the component's own while the windows stay painted and only the scan
// window's Cancel takes input; Cancel, or the stall limit, ends the scan
// within a second. The library's started state is shared by every component
// of the process that loaded the same library (scanner/librarysessions.h): a
// read that ignored the cancel is left inside it with its session, and until
// every such read has returned the scanner is busy for every session: none
// opens, takes a device or starts a scan.
#pragma once

#include "platform/sharedlibrary.h"

#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <memory>

class LibrarySessions;
class TAcquireImage;

// What GetSourceInfo tells of the current source: the device's vendor
// (Manufacturer), model (ProductFamily), name (ProductName) and type (Info);
// the scanner library's version as major.minor (ProtocolVersion) and
// major.minor.build (Version).
struct TSourceInfo {
    QString ProtocolVersion;
    QString Manufacturer;
    QString ProductFamily;
    QString ProductName;
    QString Version;
    quint16 Language = 0;
    QString Info;
};

// What the open source says of the picture it would deliver now.
struct TImageInfo {
    float XResolution = 0, YResolution = 0;  // dots per inch
    qint32 ImageWidth = 0, ImageLength = 0;  // pixels; length -1 when unknown
    qint16 SamplesPerPixel = 0;
    qint16 BitsPerSample[8] = {};
    qint16 BitsPerPixel = 0;
    bool Planar = false;                     // colours come one frame each
    qint16 PixelType = 0;                    // 0 black and white, 1 grey, 2 RGB
    qint16 Compression = 0;                  // always none
};

// Called with the stage that failed (2 opening the manager, 3 choosing or
// listing sources, 4 opening the source, 5 starting the scan or a cancel by
// the user, 7 the transfer) and the code.
using TTwainErrorEvent = std::function<void(TAcquireImage* Sender, int state, int error)>;

class TAcquireImage {
public:
    // Result codes: success, failure (also: library not loaded), cancel, end of
    // the source list; any other status s of the scanner library is 32768 + s.
    enum : int { twSuccess = 0, twFailure = 1, twCancel = 3, twEndOfList = 7, twStatusBase = 32768 };

    TAcquireImage();
    ~TAcquireImage();  // ends an open session and unloads the library
    TAcquireImage(const TAcquireImage&) = delete;
    TAcquireImage& operator=(const TAcquireImage&) = delete;

    TTwainErrorEvent OnTwainError;
    // Show our scan window (progress and Cancel) while acquiring.
    bool SHOWhideUI = true;
    // A scan whose device delivers nothing for this long, however it waits,
    // is stopped and fails; tests shorten it.
    int stallLimitMs = 120'000;
    quint16 AppVersionMajorNum = 0;
    quint16 AppVersionMinorNum = 0;
    quint16 Language = 0;
    quint16 Country = 0;
    // The application's identity texts; each holds at most 33 bytes of UTF-8,
    // a longer text is cut before the character that would not fit.
    QString AppInfo() const { return QString::fromUtf8(appInfo_); }
    QString AppManufacturer() const { return QString::fromUtf8(appManufacturer_); }
    QString AppProductFamily() const { return QString::fromUtf8(appProductFamily_); }
    QString AppProductName() const { return QString::fromUtf8(appProductName_); }
    void setAppInfo(const QString& text);
    void setAppManufacturer(const QString& text);
    void setAppProductFamily(const QString& text);
    void setAppProductName(const QString& text);

    // Loads the scanner library (platform::ScannerLibraryName) and finds
    // every entry point it needs; false when either fails.
    bool LoadTwainModule();
    // Starts the scanner library (unless another session has); the active
    // window becomes the owner of the windows shown later. While a read of an
    // earlier scan is still inside the library, this, OpenSource and the
    // Acquire... calls show a message that the scanner is busy and fail with
    // 32768 + the library's busy status (AcquireBmp, AcquireJpg and
    // AcquireToClipboard with 1).
    int OpenSourceManager();
    // A source's device name: with false the user picks it from the list of
    // devices (with no device at all, a message says so), with true the first
    // device is taken. Empty on failure or cancel.
    QString GetSource(bool flag);
    // Replaces `list` by the device names of all sources; leaves it alone on failure.
    void GetSources(QStringList& list);
    // Makes the device of that exact name the current source (7 when no
    // device has it); an empty name lets the user pick.
    int SelectSource(const QString& name);
    int OpenSource();
    // Acquire one picture. A cancel gives 3 from AcquirehDIB and 1 from the
    // others; nothing is handed over unless the result is 0. Only
    // AcquireToClipboard touches the clipboard.
    int AcquireBmp(QImage& bitmap);
    int AcquireJpg(QByteArray& jpeg, int quality);
    int AcquireToClipboard();
    int AcquirehDIB(QByteArray& dib);  // see scanner/dib.h for the block
    int GetImageInfo(TImageInfo& info);
    TSourceInfo GetSourceInfo() const;
    // Closes the open source and the session; the last session stops the
    // scanner library.
    int CloseTwainSession();
    // Ends an open session, then unloads the library and forgets every entry
    // point; true when a loaded library was unloaded.
    bool UnLoadTwainModule();

    // The identity of a scanner device as the library lists it.
    struct Device {
        QByteArray name, vendor, model, type;
    };

private:
    struct Entries;
    bool loaded() const;
    int report(int stage, int code);
    int refuseBusy(int stage);
    int statusCode(int saneStatus) const;
    int listDevices(std::vector<Device>& devices);
    int userSelect();
    int acquire(QImage& picture);
    int scan(QImage& picture, int& stage);
    int resolution();

    std::unique_ptr<Entries> sane_;
    platform::SharedLibrary library_;  // its unload leaves every entry of sane_ null
    QByteArray appInfo_, appManufacturer_, appProductFamily_, appProductName_;
    Device source_;
    int libraryVersion_ = 0;
    LibrarySessions* session_ = nullptr;  // the library this component holds a session of
    void* handle_ = nullptr;  // the open source
    bool acquiring_ = false;
    QPointer<QWidget> parent_;
};
