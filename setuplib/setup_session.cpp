#include "setuplib/setup_session.h"

#include "records/language.h"
#include "records/setup_package.h"
#include "setupdata/file.h"

void OpenSetupSession(const TLoaderOffsetTable *Table, TCustomFile &File,
                      uint32_t SetupDataOffset, uint32_t SecondDataOffset, TSetupSession &Out) {
    TSetupSession Session;
    AcceptPackageHead(Table, File, Session.Header, Session.Entries);
    // The reader leaves the file right behind the records block: the author's setup data.
    const uint64_t RecordsEnd = File.GetPosition();
    Session.Table = *Table;
    if (Table->SetupDataOffset != SetupDataOffset || Table->SecondDataOffset != SecondDataOffset)
        throw EPackageMismatch("the /SL5= offsets are not those of the loader's file");
    // AcceptPackageHead does not order the areas: a package that does is refused here.
    if (Table->SecondDataOffset > Table->SetupDataOffset ||
        RecordsEnd > Table->SetupProgramOffset)
        throw ECompressDataError("the areas of the loader's file overlap");
    Session.SecondData = {Table->SecondDataOffset,
                          uint64_t(Table->SetupDataOffset) - Table->SecondDataOffset};
    Session.SetupData = {RecordsEnd, Table->SetupProgramOffset - RecordsEnd};
    Out = std::move(Session);
}

void ReadFileArea(TCustomFile &File, const TFileArea &Area, uint64_t Position, void *Buffer,
                  uint64_t Count) {
    if (Position > Area.Length || Count > Area.Length - Position)
        throw EOutOfRange("the range lies outside the area");
    File.SeekTo64(Area.Offset + Position);
    auto *Bytes = static_cast<uint8_t *>(Buffer);
    while (Count > 0) {
        const uint32_t Piece = Count > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(Count);
        File.ReadExact(Bytes, Piece);
        Bytes += Piece;
        Count -= Piece;
    }
}

uint32_t ApplicationNameCodePage(const TSetupSession &Session) {
    for (const TSetupLanguageEntry &Entry : Session.Entries)
        if (Entry.CodePage() != 0)
            return Entry.CodePage();
    return 0;
}

int32_t ChooseSessionLanguage(const TSetupSession &Session, const std::string &LangOption,
                              const TLanguageSystemValues &System) {
    if (Session.Entries.empty())
        return -1;
    return SelectLanguageIndex(Session.Entries.data(),
                               static_cast<int32_t>(Session.Entries.size()), LangOption,
                               Session.Header.LanguageDetectMode(), System);
}
