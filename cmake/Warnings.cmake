# Warnings and floating-point rules for our own code. Results of the
# processing code must not depend on the compiler contracting a*b+c into a
# fused multiply-add, so contraction is off everywhere.
add_compile_options(-ffp-contract=off)
set(TESSAVAN_WARNINGS -Wall -Wextra -Wno-unused-parameter)
