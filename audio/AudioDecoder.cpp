#include "audio/AudioDecoder.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <sys/stat.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The file as the decoder reads it, through stdio, giving up once asked to.
struct TSource {
  std::FILE* File = nullptr;
  const std::atomic<bool>* Cancel = nullptr;  // only while opening
  bool Cancelled() const { return Cancel && Cancel->load(std::memory_order_relaxed); }
};

size_t ReadSource(void* Out, size_t Size, size_t Count, void* Data) {
  auto* Source = static_cast<TSource*>(Data);
  if (Source->Cancelled()) {
    errno = ECANCELED;
    return 0;
  }
  return std::fread(Out, Size, Count, Source->File);
}

int SeekSource(void* Data, ogg_int64_t Offset, int Whence) {
  auto* Source = static_cast<TSource*>(Data);
  if (Source->Cancelled()) return -1;
  return fseeko(Source->File, off_t(Offset), Whence);
}

long TellSource(void* Data) { return long(ftello(static_cast<TSource*>(Data)->File)); }

const char* OpenFailure(int Code) {
  switch (Code) {
    case OV_ENOTVORBIS:
      return "not an OGG Vorbis file";
    case OV_EVERSION:
      return "a Vorbis version this decoder does not know";
    case OV_EBADHEADER:
      return "damaged Vorbis headers";
    default:
      return "not a readable OGG Vorbis file";
  }
}

}  // namespace

struct TVorbisReader::TImpl {
  TSource Source;
  OggVorbis_File File{};
  bool Opened = false;
  ~TImpl() {
    if (Opened) ov_clear(&File);  // closes nothing: the file is ours
    if (Source.File) std::fclose(Source.File);
  }
};

std::unique_ptr<TVorbisReader> TVorbisReader::Open(const std::string& FileName, std::string* Why,
                                                   const std::atomic<bool>* Cancel) {
  auto Fail = [&](const std::string& Reason) {
    if (Why) *Why = Reason;
    return nullptr;
  };
  // A directory or a device would open but never decode; refuse them before libvorbisfile sees them.
  struct stat Info {};
  if (FileName.empty()) return Fail("no file name");
  if (stat(FileName.c_str(), &Info) != 0) return Fail(std::strerror(errno));
  if (!S_ISREG(Info.st_mode)) return Fail("not a regular file");

  std::unique_ptr<TVorbisReader> Reader(new TVorbisReader());
  Reader->Impl = std::make_unique<TImpl>();
  TImpl& Impl = *Reader->Impl;
  Impl.Source.File = std::fopen(FileName.c_str(), "rb");
  if (!Impl.Source.File) return Fail(std::strerror(errno));
  Impl.Source.Cancel = Cancel;
  const ov_callbacks Callbacks{ReadSource, SeekSource, nullptr, TellSource};
  int Code = ov_open_callbacks(&Impl.Source, &Impl.File, nullptr, 0, Callbacks);
  if (Impl.Source.Cancelled()) {
    if (Code == 0) ov_clear(&Impl.File);
    return Fail("opening was cancelled");
  }
  if (Code != 0) return Fail(OpenFailure(Code));
  Impl.Opened = true;
  Impl.Source.Cancel = nullptr;
  const vorbis_info* First = ov_info(&Impl.File, 0);
  if (!First || First->channels < 1) return Fail("no channels");
  if (First->rate < 1 || First->rate > MaxRate)
    return Fail("a rate of " + std::to_string(First->rate) + " Hz, beyond " + std::to_string(MaxRate));
  Reader->ChannelCount = First->channels;
  Reader->SampleRate = int(First->rate);
  return Reader;
}

TVorbisReader::~TVorbisReader() = default;

int TVorbisReader::Read(float* Out, int MaxFrames) {
  // A damaged file can yield nothing but holes; give up after a few in a row.
  for (int Holes = 0; Holes < 64 && MaxFrames > 0;) {
    float** Pcm = nullptr;
    int Link = 0;
    long Got = ov_read_float(&Impl->File, &Pcm, MaxFrames, &Link);
    if (Got == OV_HOLE) {
      ++Holes;
      continue;
    }
    if (Got <= 0) return 0;
    const vorbis_info* Info = ov_info(&Impl->File, Link);
    int LinkChannels = Info ? Info->channels : ChannelCount;
    int Count = int(std::min<long>(Got, MaxFrames));
    for (int C = 0; C < ChannelCount; ++C) {
      // A later link with fewer channels repeats its last one; extra channels are dropped.
      const float* Source = Pcm[std::min(C, LinkChannels - 1)];
      for (int F = 0; F < Count; ++F) Out[size_t(F) * size_t(ChannelCount) + size_t(C)] = Source[F];
    }
    return Count;
  }
  return 0;
}

bool TVorbisReader::Seek(int64_t Frame) { return ov_pcm_seek(&Impl->File, ogg_int64_t(Frame)) == 0; }
