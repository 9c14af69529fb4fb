/*
 * termsim's card reader driver: an IFD handler that pcscd loads from the reader.conf termsim
 * writes. It has no card and no hardware: every escape request (SCardControl with the code it
 * lists as FEATURE_CCID_ESC_COMMAND, as libccid does) travels to termsim over the Unix socket
 * named in DEVICENAME ("termsim:/abs/path") and termsim's reply comes back. The wire is the one
 * in ccid_door.hpp. pcscd calls every IFDH function it finds missing a crash, so all are here.
 */
#include <arpa/inet.h>
#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <ifdhandler.h>
#include <reader.h>

#define ESCAPE_CODE SCARD_CTL_CODE(1) /* libccid's IOCTL_SMARTCARD_VENDOR_IFD_EXCHANGE */
#define MAX_READERS 4
#define MAX_PACKET 65536
#define REPLY_WAIT_MS 10000 /* termsim answers in microseconds; this only catches a hang */

static const char kPrefix[] = "termsim:";

struct Reader {
    int open;
    int fd;
    char path[sizeof(((struct sockaddr_un*)0)->sun_path)];
};

static struct Reader readers[MAX_READERS];
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static struct Reader* ReaderOf(DWORD lun) {
    DWORD i = lun >> 16;
    return i < MAX_READERS ? &readers[i] : NULL;
}

static void Hangup(struct Reader* r) {
    if (r->fd >= 0) {
        close(r->fd);
        r->fd = -1;
    }
}

static int Dial(struct Reader* r) {
    struct sockaddr_un address;
    if (r->fd >= 0) {
        return 0;
    }
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    memcpy(address.sun_path, r->path, sizeof address.sun_path);
    r->fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (r->fd < 0) {
        return -1;
    }
    if (connect(r->fd, (struct sockaddr*)&address, sizeof address) != 0) {
        Hangup(r);
        return -1;
    }
    return 0;
}

/* One request to termsim and its reply; 0 on success. A broken socket is dialled again once:
 * termsim may have been restarted behind a pcscd that kept running. */
static int Exchange(struct Reader* r, const UCHAR* in, DWORD inLength, UCHAR* out, DWORD capacity,
                    DWORD* outLength) {
    static UCHAR packet[MAX_PACKET];
    int attempt;
    if (inLength > MAX_PACKET - 4) {
        return -1;
    }
    packet[0] = (UCHAR)(capacity & 0xFF);
    packet[1] = (UCHAR)((capacity >> 8) & 0xFF);
    packet[2] = (UCHAR)((capacity >> 16) & 0xFF);
    packet[3] = (UCHAR)((capacity >> 24) & 0xFF);
    if (inLength > 0) {
        memcpy(packet + 4, in, inLength);
    }
    for (attempt = 0; attempt < 2; ++attempt) {
        struct pollfd wait;
        ssize_t n;
        if (Dial(r) != 0) {
            return -1;
        }
        if (send(r->fd, packet, inLength + 4, MSG_NOSIGNAL) != (ssize_t)(inLength + 4)) {
            Hangup(r);
            continue;
        }
        wait.fd = r->fd;
        wait.events = POLLIN;
        if (poll(&wait, 1, REPLY_WAIT_MS) != 1) {
            Hangup(r);
            return -1; /* no second try: the request may have been taken */
        }
        n = recv(r->fd, packet, sizeof packet, 0);
        if (n < 1 || packet[0] != 0 || (size_t)(n - 1) > capacity) {
            if (n < 1) {
                Hangup(r);
            }
            return -1;
        }
        memcpy(out, packet + 1, (size_t)(n - 1));
        *outLength = (DWORD)(n - 1);
        return 0;
    }
    return -1;
}

RESPONSECODE IFDHCreateChannelByName(DWORD Lun, LPSTR DeviceName) {
    struct Reader* r = ReaderOf(Lun);
    size_t length;
    if (r == NULL || strncmp(DeviceName, kPrefix, sizeof kPrefix - 1) != 0) {
        return IFD_COMMUNICATION_ERROR;
    }
    length = strlen(DeviceName + sizeof kPrefix - 1);
    if (length == 0 || length >= sizeof r->path) {
        return IFD_COMMUNICATION_ERROR;
    }
    pthread_mutex_lock(&lock);
    memcpy(r->path, DeviceName + sizeof kPrefix - 1, length + 1);
    r->fd = -1;
    r->open = 1;
    pthread_mutex_unlock(&lock);
    return IFD_SUCCESS;
}

RESPONSECODE IFDHCreateChannel(DWORD Lun, DWORD Channel) {
    (void)Lun;
    (void)Channel;
    return IFD_COMMUNICATION_ERROR; /* only named channels: the name says where termsim is */
}

RESPONSECODE IFDHCloseChannel(DWORD Lun) {
    struct Reader* r = ReaderOf(Lun);
    if (r == NULL) {
        return IFD_COMMUNICATION_ERROR;
    }
    pthread_mutex_lock(&lock);
    Hangup(r);
    r->open = 0;
    pthread_mutex_unlock(&lock);
    return IFD_SUCCESS;
}

RESPONSECODE IFDHGetCapabilities(DWORD Lun, DWORD Tag, PDWORD Length, PUCHAR Value) {
    if (ReaderOf(Lun) == NULL) {
        return IFD_COMMUNICATION_ERROR;
    }
    switch (Tag) {
        case TAG_IFD_ATR:
            *Length = 0; /* never a card */
            return IFD_SUCCESS;
        case TAG_IFD_SLOTS_NUMBER:
        case TAG_IFD_SIMULTANEOUS_ACCESS:
        case TAG_IFD_THREAD_SAFE:
        case TAG_IFD_SLOT_THREAD_SAFE:
            if (*Length < 1) {
                return IFD_ERROR_INSUFFICIENT_BUFFER;
            }
            Value[0] = Tag == TAG_IFD_SLOTS_NUMBER ? 1 : Tag == TAG_IFD_SIMULTANEOUS_ACCESS ? 1 : 0;
            *Length = 1;
            return IFD_SUCCESS;
        default:
            return IFD_ERROR_TAG;
    }
}

RESPONSECODE IFDHSetCapabilities(DWORD Lun, DWORD Tag, DWORD Length, PUCHAR Value) {
    (void)Lun;
    (void)Tag;
    (void)Length;
    (void)Value;
    return IFD_ERROR_TAG;
}

RESPONSECODE IFDHSetProtocolParameters(DWORD Lun, DWORD Protocol, UCHAR Flags, UCHAR PTS1,
                                       UCHAR PTS2, UCHAR PTS3) {
    (void)Lun;
    (void)Protocol;
    (void)Flags;
    (void)PTS1;
    (void)PTS2;
    (void)PTS3;
    return IFD_PROTOCOL_NOT_SUPPORTED;
}

RESPONSECODE IFDHPowerICC(DWORD Lun, DWORD Action, PUCHAR Atr, PDWORD AtrLength) {
    (void)Lun;
    (void)Atr;
    if (AtrLength != NULL) {
        *AtrLength = 0;
    }
    return Action == IFD_POWER_DOWN ? IFD_SUCCESS : IFD_ERROR_POWER_ACTION;
}

RESPONSECODE IFDHTransmitToICC(DWORD Lun, SCARD_IO_HEADER SendPci, PUCHAR TxBuffer, DWORD TxLength,
                               PUCHAR RxBuffer, PDWORD RxLength, PSCARD_IO_HEADER RecvPci) {
    (void)Lun;
    (void)SendPci;
    (void)TxBuffer;
    (void)TxLength;
    (void)RxBuffer;
    (void)RecvPci;
    *RxLength = 0;
    return IFD_ICC_NOT_PRESENT;
}

RESPONSECODE IFDHControl(DWORD Lun, DWORD dwControlCode, PUCHAR TxBuffer, DWORD TxLength,
                         PUCHAR RxBuffer, DWORD RxLength, LPDWORD pdwBytesReturned) {
    struct Reader* r = ReaderOf(Lun);
    RESPONSECODE result = IFD_SUCCESS;
    *pdwBytesReturned = 0;
    if (r == NULL || !r->open) {
        return IFD_COMMUNICATION_ERROR;
    }
    if (dwControlCode == CM_IOCTL_GET_FEATURE_REQUEST) {
        UCHAR entry[6];
        uint32_t code = htonl(ESCAPE_CODE);
        if (RxLength < sizeof entry) {
            return IFD_ERROR_INSUFFICIENT_BUFFER;
        }
        entry[0] = FEATURE_CCID_ESC_COMMAND;
        entry[1] = 4;
        memcpy(entry + 2, &code, 4);
        memcpy(RxBuffer, entry, sizeof entry);
        *pdwBytesReturned = sizeof entry;
        return IFD_SUCCESS;
    }
    if (dwControlCode != ESCAPE_CODE) {
        return IFD_ERROR_NOT_SUPPORTED;
    }
    pthread_mutex_lock(&lock);
    if (Exchange(r, TxBuffer, TxLength, RxBuffer, RxLength, pdwBytesReturned) != 0) {
        *pdwBytesReturned = 0;
        result = IFD_COMMUNICATION_ERROR;
    }
    pthread_mutex_unlock(&lock);
    return result;
}

RESPONSECODE IFDHICCPresence(DWORD Lun) {
    return ReaderOf(Lun) == NULL ? IFD_COMMUNICATION_ERROR : IFD_ICC_NOT_PRESENT;
}
