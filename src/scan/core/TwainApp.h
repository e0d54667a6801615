// The application side of TWAIN: one application identity, its connection to
// the data source manager built into the program, the list of sources, at
// most one open source and the TWAIN state of that connection (TwainApp);
// ScanTwainApp also keeps one capability record for each capability the scan
// road negotiates.
//
// Every call goes through DSM_Entry of the built-in manager. Objects are used
// on the user-interface thread; only the source's notification (delivered by
// the manager on the source's own thread) touches m_DSMessage, which is why
// that one member is atomic and can be waited for.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "twain/Twain.h"

// Container and transfer-buffer memory: the manager's functions once its
// entry point is known, else the program's handle layer (the same one).
TW_HANDLE TwainAppAllocate(TW_UINT32 size);
void TwainAppFree(TW_HANDLE handle);
TW_MEMREF TwainAppLock(TW_HANDLE handle);
void TwainAppUnlock(TW_HANDLE handle);

// The current value of a capability record's container: the current item of
// an enumeration, the item of a one-value, the current value of a range, for
// the integral item types (TWTY_INT8 .. TWTY_BOOL; signed types sign-extended).
// False for any other container or type, or an empty record.
bool getCapabilityCurrent(const TW_CAPABILITY& record, TW_UINT32& value);

class TwainApp {
public:
    explicit TwainApp(void* parentWindow);
    virtual ~TwainApp();
    TwainApp(const TwainApp&) = delete;
    TwainApp& operator=(const TwainApp&) = delete;

    // slot 0
    virtual void setDefaultIdentity(TW_IDENTITY& identity);
    // slot 1: opens the source with this Id (0 or less: the manager's default).
    virtual void openSource(int sourceId);
    // slot 2
    virtual void closeSource();
    // slot 3
    virtual bool enableDS(void* parent, bool showUI);
    // slot 4
    virtual bool enableUIOnly(void* parent);
    // slot 5
    virtual void disableSource();
    // slot 6: builds m_extImageInfoText from the source's extended image
    // information of the current image.
    virtual void readExtImageInfo();

    void openDSM();
    void closeDSM();
    void refreshSourceList();
    // The identity at `index` of the source list; with bit 15 set, the open
    // source. Null past the end.
    const TW_IDENTITY* sourceAt(unsigned index) const;
    bool updateIMAGEINFO();
    // Reads a capability into `record` (MSG_GET or MSG_GETCURRENT); returns
    // the condition code, 0 on success.
    TW_UINT16 getCapability(TW_CAPABILITY& record, TW_UINT16 msg);
    // Sets a one-value; returns the return code of MSG_SET.
    TW_UINT16 setCapValue(TW_UINT16 capability, TW_UINT32 value, TW_UINT16 itemType);
    TW_UINT16 setXResolution(TW_FIX32 value);
    // Sets ICAP_XRESOLUTION or ICAP_YRESOLUTION as a one-value TW_FIX32.
    TW_UINT16 setResolutionValue(TW_UINT16 capability, TW_FIX32 value);

    // Sends a triplet with this application as origin.
    TW_UINT16 callDSMEntry(pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
    // Reads the condition code of the open source (or of the manager).
    TW_UINT16 readConditionCode(pTW_IDENTITY dest);

    // Waits until the source's notification is one of `accepted` (or the
    // timeout passes); returns the message, or 0xFFFF on time-out.
    TW_UINT16 waitForMessage(std::initializer_list<TW_UINT16> accepted, std::chrono::milliseconds timeout);
    // Stores a notification of the source (called by the callback).
    void storeMessage(TW_UINT16 message);
    // Without a callback (a TWAIN 1.x source, or one that refused it) the
    // source's messages are asked for: one DG_CONTROL / DAT_EVENT /
    // MSG_PROCESSEVENT; a MSG_XFERREADY, MSG_CLOSEDSREQ or MSG_CLOSEDSOK in
    // the answer is stored as the callback would store it. True when one
    // was.
    bool pollSourceEvent();

    int m_DSMState = 1;
    std::atomic<TW_UINT16> m_DSMessage{0xFFFF};
    void* m_parentWindow = nullptr;
    TW_IDENTITY m_appIdentity{};
    TW_IDENTITY* m_currentSource = nullptr;
    std::vector<TW_IDENTITY> m_sourceList;
    TW_IMAGEINFO m_pendingImageInfo{};
    TW_UINT16 m_transferCount = 0;
    std::string m_extImageInfoText;
    std::string m_saveFolder;
    TW_USERINTERFACE m_userInterface{};
    // The condition code read after the last failed triplet (0 none).
    TW_UINT16 m_lastConditionCode = 0;
    // The open source accepted OnSourceMessage as its callback.
    bool m_callbackRegistered = false;

protected:
    // Whether the source's notifications are stored in this object (the
    // scanning object only); changed under the callback's lock.
    void setReceivesMessages(bool on);

private:
    friend TW_UINT16 OnSourceMessage(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF);
    bool m_receivesMessages = false;
    std::mutex m_messageLock;
    std::condition_variable m_messageArrived;
};

// The scanning object: the thirteen capability records, read when the source
// opens and freed when it closes.
class ScanTwainApp : public TwainApp {
public:
    explicit ScanTwainApp(void* parentWindow);
    ~ScanTwainApp() override;

    void setDefaultIdentity(TW_IDENTITY& identity) override;
    void openSource(int sourceId) override;
    void closeSource() override;

    void readCapabilities();
    void freeCapabilities();
    // The record of `capability` (one of the thirteen), or null.
    TW_CAPABILITY* record(TW_UINT16 capability);

    static constexpr int kRecordCount = 13;
    // True when a source is open; otherwise logs what is missing.
    bool SourceOpenForRecords() const;
    TW_CAPABILITY m_caps[kRecordCount]{};
};

// The callback the layer registers with each source it opens.
TW_UINT16 OnSourceMessage(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                          TW_MEMREF data);
