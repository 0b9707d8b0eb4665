#include "package/index_signature.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/base64.h"

namespace {

const std::string kIndex = "format\t1\nserial\t3\nbase\t1.0.0\nlatest\t1.0.1\nneeds\t1.0.1\n"
                           "package\t1.0.1\tVerpatch10001.qvk\t100\t" + std::string(64, 'a') + "\n";

// Made with the openssl command line, not with our code:
//   openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out k.pem
//   openssl pkey -in k.pem -pubout -outform DER | tail -c 65 | base64
//   openssl dgst -sha256 -sign k.pem kIndex | openssl asn1parse -inform DER
// with r and s of the DER signature written as 32 bytes each.
const char kOpensslKey[] = "BKO5EJwUP5dBozH/muIXQ0eTy4N2DoELRiEa0fjfMgdRKTPt8CRv9/KBPwKprJx8UwUJjX0DD7hmdwLgaFc9ACs=";
const char kOpensslRecord[] =
    "signature\t724c4ea599c895e0\tGXMk8J8ba5T1i9BNEjHhs0zMcqMvut5PQATyldhQBJ57rqDS6Lbh+jHLzfJNV4dP3tvBdWkIDS45Z0deawYh+w==\n";

class IndexSignature : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = EcPrivateKey::Generate();
    release_ = EcPrivateKey::Generate();
    next_release_ = EcPrivateKey::Generate();
    ASSERT_TRUE(root_ && release_ && next_release_);
    keys_.root = {root_->public_key()};
    keys_.release = {release_->public_key()};
  }

  std::string Signed(const std::string& text, const EcPrivateKey& key) {
    const std::optional<std::string> out = SignIndexText(text, key);
    EXPECT_TRUE(out.has_value());
    return out.value_or("");
  }

  std::unique_ptr<EcPrivateKey> root_, release_, next_release_;
  TrustedKeys keys_;
};

TEST_F(IndexSignature, EveryChangedByteOfIndexOrRecordIsRefused) {
  const std::string text = Signed(kIndex, *release_);
  const SignatureCheck good = CheckIndexSignature(text, keys_);
  ASSERT_EQ(good.verdict, SignatureVerdict::kValid);
  EXPECT_EQ(good.role, KeyRole::kRelease);
  EXPECT_EQ(good.key_id, KeyId(release_->public_key()));
  for (size_t i = 0; i < text.size(); ++i) {
    for (uint8_t change : {0x01, 0x80}) {
      std::string bad = text;
      bad[i] = static_cast<char>(bad[i] ^ change);
      EXPECT_NE(CheckIndexSignature(bad, keys_).verdict, SignatureVerdict::kValid)
          << "byte " << i << " ^ " << int{change} << " of\n" << text;
    }
  }
}

TEST_F(IndexSignature, ASignatureMadeByTheOpensslCommandLineVerifies) {
  TrustedKeys keys;
  EcPublicKey key;
  ASSERT_TRUE(ParsePublicKeyText(kOpensslKey, &key));
  EXPECT_EQ(KeyId(key), "724c4ea599c895e0");
  keys.release = {key};
  EXPECT_EQ(CheckIndexSignature(kIndex + kOpensslRecord, keys).verdict, SignatureVerdict::kValid);
  // CRLF after the record, and none at all, are the same record.
  std::string crlf = kIndex + kOpensslRecord;
  crlf.insert(crlf.size() - 1, "\r");
  EXPECT_EQ(CheckIndexSignature(crlf, keys).verdict, SignatureVerdict::kValid);
  const std::string bare = kIndex + std::string(kOpensslRecord, sizeof kOpensslRecord - 2);
  EXPECT_EQ(CheckIndexSignature(bare, keys).verdict, SignatureVerdict::kValid);
}

TEST_F(IndexSignature, EachRefusalSaysWhy) {
  const std::string by_release = Signed(kIndex, *release_);
  const std::string record = by_release.substr(kIndex.size());
  const struct {
    const char* name;
    std::string text;
    SignatureVerdict verdict;
  } cases[] = {
      {"unsigned", kIndex, SignatureVerdict::kUnsigned},
      {"unknown key", Signed(kIndex, *next_release_), SignatureVerdict::kUnknownKey},
      {"second record", by_release + record, SignatureVerdict::kSecondSignature},
      {"record inside", kIndex + record + kIndex.substr(kIndex.find("package")), SignatureVerdict::kNotLast},
      {"comment after", by_release + "# more\n", SignatureVerdict::kNotLast},
      {"two line ends after", by_release + "\n", SignatureVerdict::kNotLast},
      {"no key id", kIndex + "signature\t" + record.substr(record.rfind('\t') + 1), SignatureVerdict::kMalformed},
      {"short signature", kIndex + record.substr(0, record.size() - 6) + "==\n", SignatureVerdict::kMalformed},
      {"upper-case key id", kIndex + "signature\t" + [&] {
         std::string id = KeyId(release_->public_key());
         for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
         return id;
       }() + record.substr(record.rfind('\t')), SignatureVerdict::kMalformed},
      {"empty record", kIndex + "signature\n", SignatureVerdict::kMalformed},
      {"bare record at the end", kIndex + "signature", SignatureVerdict::kMalformed},
      {"bare record and CR", kIndex + "signature\r", SignatureVerdict::kMalformed},
      {"bare record and CRLF", kIndex + "signature\r\n", SignatureVerdict::kMalformed},
      {"bare record alone", "signature", SignatureVerdict::kMalformed},
  };
  for (const auto& c : cases) {
    // A buffer of exactly the text's size, so that a read past it is caught.
    const std::unique_ptr<char[]> exact(new char[c.text.size()]);
    std::copy(c.text.begin(), c.text.end(), exact.get());
    EXPECT_EQ(CheckIndexSignature(std::string_view(exact.get(), c.text.size()), keys_).verdict, c.verdict)
        << c.name;
  }
  // Without keys nothing is trusted.
  EXPECT_EQ(CheckIndexSignature(by_release, TrustedKeys()).verdict, SignatureVerdict::kUnknownKey);
}

TEST_F(IndexSignature, OnlyARootKeyRotatesAndTheOldReleaseKeyIsRefusedAfter) {
  std::string rotation = kIndex + "trust\trelease\t" + PublicKeyText(next_release_->public_key()) + "\n";
  ReleaseIndex parsed;
  std::string error;

  // Signed by the release key: readable, but its trust records are refused.
  const std::string by_release = Signed(rotation, *release_);
  SignatureCheck check = CheckIndexSignature(by_release, keys_);
  ASSERT_EQ(check.verdict, SignatureVerdict::kValid);
  ASSERT_TRUE(ParseReleaseIndex(by_release, &parsed, &error)) << error;
  EXPECT_FALSE(TrustRecordsAllowed(parsed, check));

  // Signed by the root key: adopted.
  const std::string by_root = Signed(rotation, *root_);
  check = CheckIndexSignature(by_root, keys_);
  ASSERT_EQ(check.verdict, SignatureVerdict::kValid);
  EXPECT_EQ(check.role, KeyRole::kRoot);
  ASSERT_TRUE(ParseReleaseIndex(by_root, &parsed, &error)) << error;
  ASSERT_TRUE(TrustRecordsAllowed(parsed, check));
  const TrustedKeys after = KeysAfter(keys_, parsed);
  EXPECT_EQ(after.root, keys_.root);  // no root records: the root keys stay
  EXPECT_EQ(after.release, std::vector<EcPublicKey>{next_release_->public_key()});

  EXPECT_EQ(CheckIndexSignature(Signed(kIndex, *release_), after).verdict, SignatureVerdict::kUnknownKey);
  EXPECT_EQ(CheckIndexSignature(Signed(kIndex, *next_release_), after).verdict, SignatureVerdict::kValid);
  EXPECT_EQ(CheckIndexSignature(Signed(kIndex, *root_), after).verdict, SignatureVerdict::kValid);

  // An index without trust records needs no role.
  ASSERT_TRUE(ParseReleaseIndex(kIndex, &parsed, &error));
  EXPECT_TRUE(TrustRecordsAllowed(parsed, SignatureCheck()));
}

TEST_F(IndexSignature, AKeyStatementReadsBackAndRefusesWhatIsNotOne) {
  KeyStatement statement;
  statement.serial = 7;
  statement.trust_root = {root_->public_key()};
  statement.trust_release = {release_->public_key(), next_release_->public_key()};
  const std::string text = Signed(FormatKeyStatement(statement), *root_);
  const SignatureCheck check = CheckIndexSignature(text, keys_);
  EXPECT_EQ(check.verdict, SignatureVerdict::kValid);
  EXPECT_EQ(check.role, KeyRole::kRoot);
  KeyStatement read;
  std::string error;
  ASSERT_TRUE(ParseKeyStatement(text, &read, &error)) << error;
  EXPECT_EQ(read.serial, 7u);
  EXPECT_EQ(read.trust_release, statement.trust_release);

  const std::string root_line = "trust\troot\t" + PublicKeyText(root_->public_key()) + "\n";
  const std::string release_line = "trust\trelease\t" + PublicKeyText(release_->public_key()) + "\n";
  std::string too_many = "format\t1\nserial\t1\n" + root_line;
  for (size_t i = 0; i <= kMaxKeysPerRole; ++i) too_many += release_line;
  const struct {
    std::string text;
    const char* error;
  } cases[] = {
      {"serial\t1\n", "line 1: not a key statement of format 1"},
      {"format\t1\n" + root_line + release_line, "a key statement names its serial and the keys of both roles"},
      {"format\t1\nserial\t1\n" + root_line, "a key statement names its serial and the keys of both roles"},
      {"format\t1\nserial\tx\n", "line 2: the serial is not a decimal number"},
      {"format\t1\nserial\t1\nbase\t1.0.0\n", "line 3: not a record of a key statement"},
      {"format\t1\nserial\t1\n" + root_line + "signature\ta\tb\n" + release_line,
       "line 5: a record after the signature record"},
      {too_many, "line 20: more than 16 keys"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(ParseKeyStatement(c.text, &read, &error)) << c.text;
    EXPECT_EQ(error, c.error) << c.text;
  }
  EXPECT_EQ(read.serial, 7u) << "a refused statement changes nothing";
}

TEST(PublicKeyText, ReadsExactlyABase64Point) {
  EcPublicKey key;
  std::vector<EcPublicKey> keys;
  std::string error;
  ASSERT_TRUE(ParsePublicKeyText(kOpensslKey, &key));
  EXPECT_EQ(PublicKeyText(key), kOpensslKey);
  const std::string good = kOpensslKey;
  for (const std::string& bad : {good.substr(4), good + "AAAA", "A" + good.substr(1), good.substr(0, 86) + "B=",
                                 good.substr(0, 87) + " ", std::string(88, '=')}) {
    EXPECT_FALSE(ParsePublicKeyText(bad, &key)) << bad;
  }
  ASSERT_TRUE(ParsePublicKeyList("  " + good + "\t" + good + " ", &keys, &error)) << error;
  EXPECT_EQ(keys.size(), 2u);
  EXPECT_FALSE(ParsePublicKeyList(good + " x", &keys, &error));
  EXPECT_EQ(error, "\"x\" is not a public key (base64 of 65 bytes)");
  EXPECT_EQ(keys.size(), 2u) << "a refused list changes nothing";
  std::string many;
  for (size_t i = 0; i < kMaxKeysPerRole; ++i) many += good + " ";
  ASSERT_TRUE(ParsePublicKeyList(many, &keys, &error)) << error;
  EXPECT_FALSE(ParsePublicKeyList(many + good, &keys, &error));
  EXPECT_EQ(error, "more than 16 keys");
}

TEST(Base64, RoundTripsAndRefusesNonCanonicalText) {
  const uint8_t kBytes[] = {0xf0, 0x0f, 0xff, 0x00, 0x80, 0x7f};
  for (size_t n = 0; n <= sizeof kBytes; ++n) {
    const std::vector<uint8_t> bytes(kBytes, kBytes + n);
    const std::string text = Base64Encode(bytes.data(), n);
    EXPECT_EQ(Base64Decode(text), bytes) << text;
  }
  EXPECT_EQ(Base64Encode(reinterpret_cast<const uint8_t*>("foob"), 4), "Zm9vYg==");
  for (const char* bad : {"Zm9vYg=", "Zm9vYh==", "Zm9v Yg==", "Zg=a", "=AAA", "Zm9vYg==AAAA", "Zm-v"}) {
    EXPECT_FALSE(Base64Decode(bad).has_value()) << bad;
  }
}

}  // namespace
