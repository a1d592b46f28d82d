"""What the main window's end-to-end tests share: sample files, IDs, registry keys, and the
base class with the helpers that open the window, act on it and read the backup list."""
import re
import time

from harness import E2ETest, keys, local_state_path, reg_delete, reg_query

UNIFORM = "11111111-2222-3333-4444-555555555555"
KEY = r"HKCU\Software\Quembrix Limited\Veilmark"
FORM_KEY = KEY + r"\UI\Forms\formVeilmark"
GUID = re.compile(r"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")

ID_A = "0A1B2C3D-4E5F-6A7B-8C9D-0E1F2A3B4C5D"
ID_B = "9F8E7D6C-5B4A-3928-1706-F5E4D3C2B1A0"


def classic_file(client_id, other=""):
    """A pretty-printed Local State with LF line breaks and no final one, as in the wild."""
    return (f'{{\n   "browser": {{\n      "last_redirect_origin": "{other}"\n   }},\n'
            f'   "user_experience_metrics": {{\n      "client_id": "{client_id}",\n'
            f'      "session_id": 12\n   }}\n}}').encode()


def crlf(data):
    return data.replace(b"\n", b"\r\n") + b"\r\n"


class WindowTest(E2ETest):
    """No tests of its own: the helpers of the main window's tests."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.local_state, cls.windows_local_state = local_state_path(cls.driver)

    def setUp(self):
        reg_delete(KEY)
        self.local_state.parent.mkdir(parents=True, exist_ok=True)

    def tearDown(self):
        self.driver("release")
        for leftover in self.local_state.parent.iterdir():
            leftover.unlink()

    # Helpers ---------------------------------------------------------------------------

    def write_file(self, data):
        self.local_state.write_bytes(data)

    def open_window(self, besides=None):
        """Starts Veilmark and finds its window; `besides`: a window already open."""
        program = self.start()
        hwnd = self.driver("other", "TformVeilmark", besides["hwnd"], 30000) if besides else \
            self.driver.wait("TformVeilmark")
        self.driver("sleep", 300)
        kids = {c["text"]: c["hwnd"] for c in self.driver.children(hwnd) if c["cls"] == "Button"}
        window = dict(
            hwnd=hwnd, program=program,
            edit=self.driver.child(hwnd, "Edit"), list=self.driver.child(hwnd, "ListBox"),
            uniform=kids["Replace with &uniform ID"], random=kids["New &random ID"], exit=kids["E&xit"])
        return window

    def backup_in_registry(self):
        out = reg_query(KEY, "IDBackup")
        if out is None:
            return None
        m = re.search(r"IDBackup\s+REG_MULTI_SZ\s*(.*)", out)
        data = m.group(1).strip() if m else ""
        return [item for item in data.split("\\0") if item]

    def leftovers(self):
        return sorted(p.name for p in self.local_state.parent.iterdir() if p.name != "Local State")

    def close(self, w):
        self.driver("click", w["exit"])
        self.wait_gone(w["hwnd"])
        self.assertEqual(w["program"].wait_exit(), 0)

    def settle(self):
        self.driver("sleep", 400)

    def act(self, *command):
        """Runs a driver command that rewrites Chrome's file, and waits until it has: the
        program works on its own time, and a loaded machine may take seconds."""
        before = self.local_state.read_bytes()
        if command[0] == "keys":
            keys(*command[1:])
        else:
            self.driver(*command)
        deadline = time.monotonic() + 30
        while self.local_state.read_bytes() == before and time.monotonic() < deadline:
            time.sleep(0.1)
        self.settle()

