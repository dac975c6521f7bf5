// A module script: it runs only when sent as JavaScript. It also runs a tiny
// WebAssembly module, which the browser compiles as it streams in only when
// it is sent as application/wasm.
const status = document.getElementById("module-status");
status.textContent = "The module script ran.";
document.documentElement.dataset.module = "ran";

const { instance } = await WebAssembly.instantiateStreaming(fetch("add.wasm"));
const sum = instance.exports.add(2, 3);
status.textContent += " add.wasm says 2 + 3 = " + sum + ".";
document.documentElement.dataset.wasm = String(sum);
