find_package(ICU REQUIRED COMPONENTS uc data)
find_package(OpenSSL REQUIRED)
target_link_libraries(text_bench PRIVATE ICU::uc ICU::data OpenSSL::Crypto)
