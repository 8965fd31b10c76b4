#include "pdf/crypt.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "pdf/compress.h"
#include "pdf/syntax.h"
#include "platform/errors.h"
#include "support/support.h"

namespace pv {
namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Hex(const TMD5Digest& d) {
  return Lower(HexString(std::string_view(reinterpret_cast<const char*>(d.data()), d.size())));
}

std::string Bytes(const std::array<uint8_t, 32>& a) {
  return std::string(reinterpret_cast<const char*>(a.data()), a.size());
}

TEST(MD5, Rfc1321Vectors) {
  EXPECT_EQ(Hex(MD5("")), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Hex(MD5("a")), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Hex(MD5("abc")), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Hex(MD5("message digest")), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Hex(MD5("abcdefghijklmnopqrstuvwxyz")), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Hex(MD5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789")),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  std::string digits;
  for (int i = 0; i < 8; ++i) digits += "1234567890";
  EXPECT_EQ(Hex(MD5(digits)), "57edf4a22be3c955ac49da2e2107b67a");

  // Fed in uneven pieces across block boundaries, the digest is the same; Final restarts.
  TMD5 h;
  for (size_t at = 0; at < digits.size(); at += 7) h.Update(digits.substr(at, 7));
  EXPECT_EQ(Hex(h.Final()), "57edf4a22be3c955ac49da2e2107b67a");
  h.Update("abc");
  EXPECT_EQ(Hex(h.Final()), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Hex(MD5(std::string(1000000, 'a'))), "7707d6ae4e027c70eea2a935c2296f21");
  // 55, 56 and 64 bytes: the padding edges.
  EXPECT_EQ(Hex(MD5(std::string(55, 'a'))), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(Hex(MD5(std::string(56, 'a'))), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(Hex(MD5(std::string(64, 'a'))), "014842d480b571495a4a0363793f7367");
}

TEST(RC4, KnownVectorsAndSymmetry) {
  auto rc4 = [](std::string_view key, std::string text) {
    TRC4(key).Apply(text);
    return HexString(text);
  };
  EXPECT_EQ(rc4("Key", "Plaintext"), "BBF316E8D940AF0AD3");
  EXPECT_EQ(rc4("Wiki", "pedia"), "1021BF0420");
  EXPECT_EQ(rc4("Secret", "Attack at dawn"), "45A01F645FC35B383552544B9BF5");
  // The key stream continues across calls.
  TRC4 split("Key");
  std::string a = "Plain", b = "text";
  split.Apply(a);
  split.Apply(b);
  EXPECT_EQ(HexString(a + b), "BBF316E8D940AF0AD3");
  std::string text = "round trip";
  TRC4("k").Apply(text);
  EXPECT_NE(text, "round trip");
  TRC4("k").Apply(text);
  EXPECT_EQ(text, "round trip");
  EXPECT_THROW(TRC4(""), ERangeError);
}

TEST(Encryption, PermissionsArithmetic) {
  using P = TgtUserPermission;
  const auto el40 = TgtPDFEncryptionLevel::el40bit;
  const auto el128 = TgtPDFEncryptionLevel::el128bit;
  EXPECT_EQ(PermissionsValue(el40, TgtUserPermissions::All()), -4);
  EXPECT_EQ(PermissionsValue(el128, TgtUserPermissions::All()), -4);
  EXPECT_EQ(PermissionsValue(el40, TgtUserPermissions::None()), -64);
  EXPECT_EQ(PermissionsValue(el128, TgtUserPermissions::None()), -3904);
  auto only = [](std::initializer_list<P> ps) {
    TgtUserPermissions s;
    for (P p : ps) s.Include(p);
    return s;
  };
  EXPECT_EQ(PermissionsValue(el40, only({P::AllowPrint})), -60);
  EXPECT_EQ(PermissionsValue(el40, only({P::AllowModify, P::AllowCopy})), -40);
  EXPECT_EQ(PermissionsValue(el40, only({P::AllowAnnotation, P::AllowFormFill})), -32);
  EXPECT_EQ(PermissionsValue(el128, only({P::AllowFormFill})), -3648);
  EXPECT_EQ(PermissionsValue(el128, only({P::AllowAccessibility, P::AllowDocAssembly})), -2368);
  // High-resolution printing counts only together with printing.
  EXPECT_EQ(PermissionsValue(el128, only({P::AllowHighResPrint})), -3904);
  EXPECT_EQ(PermissionsValue(el128, only({P::AllowHighResPrint, P::AllowPrint})), -1852);
  EXPECT_EQ(PermissionsValue(el128, TgtUserPermissions::All().Exclude(P::AllowPrint)), -2056);
}

TEST(Encryption, SettingsAndTheLock) {
  TgtPDFEncryptionSettings s;
  EXPECT_FALSE(s.Enabled());
  EXPECT_EQ(s.Level(), TgtPDFEncryptionLevel::el128bit);
  EXPECT_EQ(s.OwnerPassword(), "");
  EXPECT_EQ(s.UserPassword(), "");
  EXPECT_EQ(s.UserPermissions(), TgtUserPermissions::All());
  EXPECT_FALSE(s.Locked());
  s.SetEnabled(true);
  s.SetOwnerPassword("boss");
  s.SetUserPassword("guest");
  s.SetLevel(TgtPDFEncryptionLevel::el40bit);
  EXPECT_EQ(s.OwnerPassword(), "boss");

  s.SetLocked(true);
  EXPECT_EQ(s.OwnerPassword(), "");  // hidden while locked
  EXPECT_EQ(s.UserPassword(), "guest");
  try {
    s.SetEnabled(false);
    ADD_FAILURE() << "a locked setter must raise";
  } catch (const EEncryptionSettingsError& e) {
    EXPECT_STREQ(e.what(), "User cannot change encryption settings");
  }
  EXPECT_THROW(s.SetLevel(TgtPDFEncryptionLevel::el128bit), EEncryptionSettingsError);
  EXPECT_THROW(s.SetOwnerPassword("x"), EEncryptionSettingsError);
  EXPECT_THROW(s.SetUserPassword("x"), EEncryptionSettingsError);
  EXPECT_THROW(s.SetUserPermissions(TgtUserPermissions::None()), EEncryptionSettingsError);
  EXPECT_THROW(s.Assign(TgtPDFEncryptionSettings()), EEncryptionSettingsError);
  EXPECT_TRUE(s.Enabled());
  EXPECT_EQ(s.Level(), TgtPDFEncryptionLevel::el40bit);

  // The handler still encrypts with the real owner password.
  const TgtPDFEncryption locked("board", "pdf", s, "D:20240101000000+00'00'");
  s.SetLocked(false);
  EXPECT_EQ(s.OwnerPassword(), "boss");
  const TgtPDFEncryption open("board", "pdf", s, "D:20240101000000+00'00'");
  EXPECT_EQ(Bytes(locked.OwnerValue()), Bytes(open.OwnerValue()));

  TgtPDFEncryptionSettings copy;
  copy.Assign(s);
  EXPECT_EQ(copy.OwnerPassword(), "boss");
  EXPECT_EQ(copy.Level(), TgtPDFEncryptionLevel::el40bit);
}

TEST(Encryption, HandlerValues) {
  TgtPDFEncryptionSettings s;
  s.SetEnabled(true);
  s.SetUserPassword("guest");
  const std::string date = "D:20240101120000+01'00'";
  const TgtPDFEncryption strong("/tmp/board_gbr", "pdf", s, date);
  EXPECT_EQ(strong.FileID(), MD5("/tmp/board_gbrpdf" + date));
  EXPECT_EQ(strong.FileIDBytes().size(), 16u);
  EXPECT_EQ(strong.Key().size(), 16u);
  EXPECT_EQ(strong.ObjectKey(6).size(), 16u);
  EXPECT_NE(strong.ObjectKey(6), strong.ObjectKey(7));
  // Only the three low bytes of the object number count.
  EXPECT_EQ(strong.ObjectKey(5), strong.ObjectKey(5 + (1 << 24)));
  // Revision 3 pads U with zeros after its 16 bytes.
  EXPECT_EQ(Bytes(strong.UserValue()).substr(16), std::string(16, '\0'));

  // An empty owner password takes the user password.
  TgtPDFEncryptionSettings same = s;
  same.SetOwnerPassword("guest");
  EXPECT_EQ(Bytes(TgtPDFEncryption("/tmp/board_gbr", "pdf", same, date).OwnerValue()),
            Bytes(strong.OwnerValue()));

  const std::string dict = strong.EncryptDictText();
  EXPECT_EQ(dict.substr(0, 32), "/V 2/R 3/P -4/Length 128/Filter/");
  EXPECT_EQ(dict.find("/Standard/O <"), 31u);
  EXPECT_EQ(dict.size(), 44u + 64 + 5 + 64 + 3);
  EXPECT_EQ(dict.substr(dict.size() - 3), ">\r\n");

  s.SetLevel(TgtPDFEncryptionLevel::el40bit);
  s.SetUserPermissions(TgtUserPermissions::None());
  const TgtPDFEncryption weak("/tmp/board_gbr", "pdf", s, date);
  EXPECT_EQ(weak.Key().size(), 5u);
  EXPECT_EQ(weak.ObjectKey(6).size(), 10u);
  EXPECT_EQ(weak.Permissions(), -64);
  EXPECT_EQ(weak.EncryptDictText().substr(0, 32), "/V 1/R 2/P -64/Filter/Standard/O");
  // Revision 2: U is the padding string under the file key.
  std::string u = Bytes(weak.UserValue());
  TRC4(weak.Key()).Apply(u);
  EXPECT_EQ(HexString(u), "28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A");

  // Strings and streams: RC4 with the object key, undone by applying it again.
  const std::string enc = weak.EncryptString("secret", 9);
  EXPECT_NE(enc, "secret");
  EXPECT_EQ(enc.size(), 6u);
  std::string back = enc;
  TRC4(weak.ObjectKey(9)).Apply(back);
  EXPECT_EQ(back, "secret");
  std::vector<uint8_t> stream = {'a', 'b', 'c'};
  weak.EncryptStream(stream, 9);
  EXPECT_EQ(std::string(stream.begin(), stream.end()), weak.EncryptString("abc", 9));
}

// A one-page PDF whose strings and content stream are encrypted by the handler.
std::string EncryptedPdf(const TgtPDFEncryption& crypt, const std::string& content) {
  std::string pdf = "%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n";
  std::vector<size_t> offsets(9, 0);
  auto object = [&](int n, const std::string& body) {
    offsets[n] = pdf.size();
    pdf += std::to_string(n) + " 0 obj\r\n" + body + "\r\nendobj\r\n";
  };
  const TEncryptStringFn enc = [&crypt](std::string_view b, int32_t obj) {
    return crypt.EncryptString(b, obj);
  };
  object(1, "<</Type/Catalog/Pages 2 0 R>>");
  object(2, "<</Type/Pages/Count 1/Kids [6 0 R]>>");
  object(3, "<</Producer <" + PdfTextString(u"Folioforge test", 3, enc) + ">/Title <" +
                HexString(crypt.EncryptString("Board Title", 3)) + ">>>");
  object(4, "[/PDF /Text]");
  object(5, "<</Font <</F0 8 0 R>>/ProcSet 4 0 R>>");
  object(6, "<</Type/Page/Parent 2 0 R/MediaBox [0 0 200 200]/Resources 5 0 R/Contents 7 0 R>>");
  std::string data;
  CompressStream(content, data, TgtCompressionLevel::clMaxCompress);
  crypt.EncryptStream(data, 7);
  offsets[7] = pdf.size();
  pdf += "7 0 obj\r\n<</Length " + std::to_string(data.size()) +
         "/Filter /FlateDecode>>\r\nstream\r\n" + data + "\r\nendstream\r\nendobj\r\n";
  object(8, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>");
  const size_t encryptOffset = pdf.size();
  pdf += "9 0 obj\r\n<<" + crypt.EncryptDictText() + ">>\r\nendobj\r\n";
  const size_t xref = pdf.size();
  pdf += "xref\r\n0 10\r\n0000000000 65535 f\r\n";
  for (int n = 1; n <= 8; ++n) AppendXRefEntry(pdf, offsets[n]);
  AppendXRefEntry(pdf, encryptOffset);
  const std::string id = HexString(crypt.FileIDBytes());
  pdf += "trailer\r\n<<\r\n/Root 1 0 R/Info 3 0 R/Size 10/ID [<" + id + "><" + id +
         ">]/Encrypt 9 0 R\r\n>>\r\nstartxref\r\n" + std::to_string(xref) + "\r\n%%EOF";
  return pdf;
}

void CheckWithQpdf(TgtPDFEncryptionLevel level) {
  const std::string qpdf = pvtest::FindTool("qpdf");
  if (qpdf.empty()) GTEST_SKIP() << "qpdf is not installed";
  TgtPDFEncryptionSettings s;
  s.SetEnabled(true);
  s.SetLevel(level);
  s.SetOwnerPassword("owner-pw");
  s.SetUserPassword("user-pw");
  const TgtPDFEncryption crypt("/tmp/board_gbr", "pdf", s, "D:20240101120000+01'00'");
  const std::string content = "q BT /F0 12 Tf 20 100 Td (Plain secret text) Tj ET Q\r\n";
  pvtest::TempDir dir;
  const auto file = dir / "enc.pdf";
  const std::string pdf = EncryptedPdf(crypt, content);
  EXPECT_EQ(pdf.find("Plain secret"), std::string::npos);
  EXPECT_EQ(pdf.find("Board Title"), std::string::npos);
  pvtest::WriteFile(file, pdf);

  const auto user =
      pvtest::RunProgram({qpdf, "--check", "--password=user-pw", file.string()}, dir.path());
  EXPECT_EQ(user.status, 0) << user.out << user.err;
  EXPECT_NE(user.out.find("Supplied password is user password"), std::string::npos) << user.out;
  EXPECT_NE(user.out.find(level == TgtPDFEncryptionLevel::el128bit ? "R = 3" : "R = 2"),
            std::string::npos)
      << user.out;
  EXPECT_NE(user.out.find("No syntax or stream encoding errors"), std::string::npos) << user.out;

  const auto owner =
      pvtest::RunProgram({qpdf, "--check", "--password=owner-pw", file.string()}, dir.path());
  EXPECT_EQ(owner.status, 0) << owner.out << owner.err;
  EXPECT_NE(owner.out.find("Supplied password is owner password"), std::string::npos) << owner.out;

  const auto wrong =
      pvtest::RunProgram({qpdf, "--check", "--password=nope", file.string()}, dir.path());
  EXPECT_NE(wrong.status, 0);

  const auto plain = dir / "plain.pdf";
  const auto dec = pvtest::RunProgram({qpdf, "--decrypt", "--password=user-pw", "--qdf",
                                       "--object-streams=disable", file.string(), plain.string()},
                                      dir.path());
  EXPECT_EQ(dec.status, 0) << dec.out << dec.err;
  const std::string out = pvtest::ReadFile(plain);
  // The decrypted (and inflated) operators; qdf output ends lines with LF only.
  EXPECT_NE(out.find(content.substr(0, content.size() - 2) + "\n"), std::string::npos);
  EXPECT_NE(out.find("(Board Title)"), std::string::npos);
  EXPECT_NE(Lower(out).find("<feff0046006f006c0069006f"), std::string::npos);  // "Folio"
  EXPECT_EQ(out.find("/Encrypt"), std::string::npos);
}

TEST(Encryption, QpdfOpens40BitDocument) {
  CheckWithQpdf(TgtPDFEncryptionLevel::el40bit);
}

TEST(Encryption, QpdfOpens128BitDocument) {
  CheckWithQpdf(TgtPDFEncryptionLevel::el128bit);
}

}  // namespace
}  // namespace pv
