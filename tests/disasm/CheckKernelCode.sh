#!/usr/bin/env bash
# CheckKernelCode.sh OBJDUMP BINARY: fails when code of BINARY outside the pair kernels uses
# AVX2 or AVX-512, naming each such function. Such code would run (and die of SIGILL) on
# a processor without the set, whatever kernelsFor chose: a standard template emitted in
# a kernel file, for one, may be the copy the linker keeps for every caller.
#
# The kernel functions, by name (demangled, clones included): everything whose name holds
# Avx2Lanes or Avx512Lanes (the lane operations and every template and lambda instantiated
# over them), and the entry points pairKernelAvx2, pairKernelAvx512, widePairKernelAvx2,
# widePairKernelAvx512 and evaluateAvx2. An AVX instruction: one naming a ymm, zmm or
# opmask (k0..k7) register, or any VEX or EVEX encoding (mnemonics beginning with "v").
# The kernels must hold some, or the scan would prove nothing.
set -euo pipefail
objdump=$1
binary=$2

listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
"$objdump" -d --no-show-raw-insn -C "$binary" >"$listing"

awk -v binary="$binary" '
    function isKernel(name) {
        return name ~ /Avx2Lanes|Avx512Lanes/ \
            || name ~ /(^|[^A-Za-z0-9_])(pairKernelAvx2|pairKernelAvx512|widePairKernelAvx2|widePairKernelAvx512|evaluateAvx2)\(/
    }
    /^[0-9a-f]+ <.*>:$/ {
        name = substr($0, index($0, "<") + 1)
        name = substr(name, 1, length(name) - 2)
        next
    }
    # An instruction line: address, tab, mnemonic and operands.
    /^ +[0-9a-f]+:\t/ {
        text = substr($0, index($0, "\t") + 1)
        split(text, word, /[ \t]+/)
        if (!(word[1] ~ /^v/ || text ~ /%[yz]mm[0-9]|%k[0-7]([^0-9]|$)/))
            next
        if (isKernel(name)) {
            ++kernelInstructions
        } else if (!(name in seen)) {
            seen[name] = text
            order[++faults] = name
        }
    }
    END {
        for (f = 1; f <= faults; ++f)
            printf "%s: AVX code outside the pair kernels in %s: %s\n", binary, order[f], seen[order[f]]
        if (kernelInstructions == 0)
            printf "%s: no AVX instruction in any pair kernel: the kernels are missing or the scan is blind\n", binary
        if (faults > 0 || kernelInstructions == 0)
            exit 1
        printf "%s: %d AVX instructions, all inside the pair kernels\n", binary, kernelInstructions
    }
' "$listing"
