#include "audio/AudioDecoder.h"

#define OV_EXCLUDE_STATIC_CALLBACKS
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "system/RegularFile.h"

namespace {

// The file as the decoder reads it, through stdio, up to the end of its OGG data, giving up once
// asked to.
struct TSource {
  std::FILE* File = nullptr;
  int64_t End = 0;  // past the last page: what follows is never read
  const std::atomic<bool>* Cancel = nullptr;  // only while opening
  bool Cancelled() const { return Cancel && Cancel->load(std::memory_order_relaxed); }
};

size_t ReadSource(void* Out, size_t Size, size_t Count, void* Data) {
  auto* Source = static_cast<TSource*>(Data);
  if (Source->Cancelled()) {
    errno = ECANCELED;
    return 0;
  }
  const int64_t At = ftello(Source->File);
  if (Size == 0 || At < 0 || At >= Source->End) return 0;
  Count = std::min<uint64_t>(Count, uint64_t(Source->End - At) / Size);
  return std::fread(Out, Size, Count, Source->File);
}

int SeekSource(void* Data, ogg_int64_t Offset, int Whence) {
  auto* Source = static_cast<TSource*>(Data);
  if (Source->Cancelled()) return -1;
  if (Whence == SEEK_END) return fseeko(Source->File, off_t(Source->End + Offset), SEEK_SET);
  return fseeko(Source->File, off_t(Offset), Whence);
}

long TellSource(void* Data) { return long(ftello(static_cast<TSource*>(Data)->File)); }

// The length of the OGG page that starts at Header (Available bytes of it read), or 0 when none
// plausibly starts there.
int64_t PageLength(const uint8_t* Header, size_t Available) {
  constexpr size_t Fixed = 27;  // capture pattern to segment count
  if (Available < Fixed || std::memcmp(Header, "OggS", 4) != 0 || Header[4] != 0 || Header[5] > 7)
    return 0;
  const size_t Segments = Header[26];
  if (Available < Fixed + Segments) return 0;
  int64_t Length = int64_t(Fixed + Segments);
  for (size_t I = 0; I < Segments; ++I) Length += Header[Fixed + I];
  return Length;
}

// Where the OGG data of the open file File (Size bytes) ends: past its last whole page. Without
// it the decoder looks for the last page backwards from the end of the file, through whatever
// follows the music: minutes of reading for a long tail of junk, at every open. Pages are walked
// from the start by their headers alone; a stretch that is no page is searched for the next page
// for at most MaxGap bytes, and the data ends before a longer one.
int64_t OggDataEnd(std::FILE* File, int64_t Size, const std::atomic<bool>* Cancel) {
  constexpr int64_t MaxGap = int64_t(1) << 20;
  constexpr size_t HeaderBytes = 27 + 255, Chunk = 65536;
  uint8_t Header[HeaderBytes];
  std::vector<uint8_t> Block(Chunk + 3);  // a pattern that starts at a chunk's end is seen whole
  auto ReadAt = [File](uint8_t* Out, size_t Bytes, int64_t At) {
    return ReadFileAt(File, Out, Bytes, At);
  };
  auto WholePageAt = [&](int64_t At) -> int64_t {
    const int64_t Length = PageLength(Header, ReadAt(Header, HeaderBytes, At));
    return At + Length <= Size ? Length : 0;
  };
  int64_t At = 0, End = 0;
  while (At < Size && !(Cancel && Cancel->load(std::memory_order_relaxed))) {
    if (const int64_t Length = WholePageAt(At)) {
      At = End = At + Length;
      continue;
    }
    int64_t Next = -1;
    for (int64_t From = At + 1; Next < 0 && From < std::min(Size, At + MaxGap); From += int64_t(Chunk)) {
      const size_t Got = ReadAt(Block.data(), Block.size(), From);
      const size_t Starts = std::min(Got, Chunk);
      for (size_t I = 0; Next < 0 && I < Starts; ++I) {
        const auto* Hit = static_cast<const uint8_t*>(std::memchr(Block.data() + I, 'O', Starts - I));
        if (!Hit) break;
        I = size_t(Hit - Block.data());
        if (I + 4 <= Got && std::memcmp(Hit, "OggS", 4) == 0 && WholePageAt(From + int64_t(I)) > 0)
          Next = From + int64_t(I);
      }
    }
    if (Next < 0) break;
    At = Next;
  }
  return End;
}

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
  if (FileName.empty()) return Fail("no file name");
  // libvorbisfile sees regular files only: a FIFO, a directory or a device never decodes.
  int64_t Size = 0;
  std::string Reason;
  std::FILE* File = OpenRegularFile(FileName, &Size, &Reason);
  if (!File) return Fail(Reason);
  std::unique_ptr<TVorbisReader> Reader(new TVorbisReader());
  Reader->Impl = std::make_unique<TImpl>();
  TImpl& Impl = *Reader->Impl;
  Impl.Source.File = File;
  Impl.Source.Cancel = Cancel;
  Impl.Source.End = OggDataEnd(File, Size, Cancel);
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
  Reader->Trailing = Size - Impl.Source.End;
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
