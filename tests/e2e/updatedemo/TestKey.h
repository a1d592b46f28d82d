// The public half of the test key in tests/e2e/updatedemo/test_key.json, as a CryptoAPI
// PUBLICKEYBLOB in hexadecimal. Only the test program carries it.
#pragma once

inline constexpr const char* kTestUpdateKeyHex =
    "0602000000a4000052534131000800000100010037b234aef5d960fd141a17d40717ac9fbda240d8b7d2a951d94247ae"
    "4ac30d5a7b4973014b0008a5d2c10ed176dc0b674812cd6fe82543b638a2d9b0e587a987d123278c878df0bd05a156d9"
    "cb17d10b4fe1894c17b1e5520a8943dd73c90edb23f0dc4cea96ba11425fe4a65f8066daef75bc8cafcf61531ab4bc77"
    "d7c5f367de3fa01f5422483c81dedeadca8e47a0028cd93ec6f3bb07987216b503b889f915ff01888b2b8045ebf0b59f"
    "26d31cec0982964a68455cb42f51cc94a00447700239ac3fa778c6a186ce907a9cc87eca668509ecae56fbaf8a7e647c"
    "d64cd2eb63a31b39e957f3f2489173b6808aeeb763e4149ff79553145937a7b216fa20e5";
