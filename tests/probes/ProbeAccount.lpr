{ A small account library written from the account library's Pascal declarations, by the classic
  Object Pascal rules (see ProbeIntf.pas for where Free Pascal departs from them): it publishes
  its registration record through the window class "corvane.zraccount.class", and its account,
  login-manager, user and error objects answer UTF-16 texts as wide strings through the hidden
  result argument and Booleans with garbage above AL. One account: "u1" / "p1" (account "A1",
  token "T1"). Everything it is given is recorded in ProbeAccount.jsonl beside it. It fails on
  demand (ProbeFault.pas): log-in names "raise", "crash" and "threadcrash" raise, crash, or crash
  a thread of its own; the words "initApp" and "userInfo" make those operations raise an 8-bit
  message and crash; "ansiClass" registers the class through the 8-bit API. }
library ProbeAccount;

{$mode delphi}{$H+}{$codepage UTF8}

uses
  Windows, ProbeIntf, ProbeRecord, ProbeFault;

type
  IZRAError = interface(IUnknown)
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    procedure GetErrorText(out Result: WideString); stdcall;
  end;

  IZRAUser = interface(IUnknown)
    function Reserved3: Integer; stdcall;
    procedure GetUserInfo(out Result: WideString); stdcall;
    function Reserved5: Integer; stdcall;
    procedure GetToken(out Result: WideString); stdcall;
    procedure GetAccountId(out Result: WideString); stdcall;
    function Reserved8: Integer; stdcall;
    function Reserved9: Integer; stdcall;
    function Reserved10: Integer; stdcall;
    function Reserved11: Integer; stdcall;
    function Reserved12: Integer; stdcall;
    function Reserved13: Integer; stdcall;
    function Reserved14: Integer; stdcall;
    procedure Refresh; stdcall;
  end;

  IZRALoginManager = interface(IUnknown)
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    function IsLoggedIn: TPasBoolEAX; stdcall;
    procedure GetCurrentUser(out Result: IZRAUser); stdcall;
    function Reserved9: Integer; stdcall;
    function Reserved10: Integer; stdcall;
    function Reserved11: Integer; stdcall;
    function Reserved12: Integer; stdcall;
    procedure SetAppID(AppID: PWideChar); stdcall;
    procedure SetCurrentUser(const User: IZRAUser); stdcall;
  end;

  IZRAccount = interface(IUnknown)
    function Reserved3: Integer; stdcall;
    function Reserved4: Integer; stdcall;
    function Reserved5: Integer; stdcall;
    function Reserved6: Integer; stdcall;
    function Reserved7: Integer; stdcall;
    function Reserved8: Integer; stdcall;
    function Reserved9: Integer; stdcall;
    procedure GetLoginManager(out Result: IZRALoginManager); stdcall;
    function Reserved11: Integer; stdcall;
    procedure InitApp(AppID, ProductKey, WebRoot: PWideChar); stdcall;
    function Reserved13: Integer; stdcall;
    function Reserved14: Integer; stdcall;
    function Reserved15: Integer; stdcall;
    function Reserved16: Integer; stdcall;
    procedure Login(LoginName, Password: PWideChar; out Error: IZRAError; out User: IZRAUser); stdcall;
    function Reserved18: Integer; stdcall;
    function Reserved19: Integer; stdcall;
    procedure CreateLoginUser(LoginInfo: PWideChar; out User: IZRAUser); stdcall;
  end;

  { The objects; their unused slots come from TSlots. }
  TError = class(TSlots, IZRAError)
    class function Intf: AnsiString; override;
    procedure GetErrorText(out Result: WideString); stdcall;
  end;

  TUser = class(TSlots, IZRAUser)
    class function Intf: AnsiString; override;
    procedure GetUserInfo(out Result: WideString); stdcall;
    procedure GetToken(out Result: WideString); stdcall;
    procedure GetAccountId(out Result: WideString); stdcall;
    procedure Refresh; stdcall;
  end;

  TLoginManager = class(TSlots, IZRALoginManager)
    class function Intf: AnsiString; override;
    function IsLoggedIn: TPasBoolEAX; stdcall;
    procedure GetCurrentUser(out Result: IZRAUser); stdcall;
    procedure SetAppID(AppID: PWideChar); stdcall;
    procedure SetCurrentUser(const User: IZRAUser); stdcall;
  end;

  TAccount = class(TSlots, IZRAccount)
    class function Intf: AnsiString; override;
    procedure GetLoginManager(out Result: IZRALoginManager); stdcall;
    procedure InitApp(AppID, ProductKey, WebRoot: PWideChar); stdcall;
    procedure Login(LoginName, Password: PWideChar; out Error: IZRAError; out User: IZRAUser); stdcall;
    procedure CreateLoginUser(LoginInfo: PWideChar; out User: IZRAUser); stdcall;
  end;

const
  kClassName: PWideChar = 'corvane.zraccount.class';

var
  { The registration record: pointer-sized entries, 8 = initialise, 12 = finalise, 20 = the
    function that yields the account object. }
  GRecord: array[0..7] of Pointer;
  GAccount: IZRAccount;
  GManager: IZRALoginManager;
  GCurrent: IZRAUser;
  GLock: TRTLCriticalSection;

class function TError.Intf: AnsiString; begin Result := 'Error'; end;
class function TUser.Intf: AnsiString; begin Result := 'User'; end;
class function TLoginManager.Intf: AnsiString; begin Result := 'LoginManager'; end;
class function TAccount.Intf: AnsiString; begin Result := 'Account'; end;

procedure TError.GetErrorText(out Result: WideString); stdcall;
begin
  Result := UnicodeString('用户名或密码错误');
end;

procedure TUser.GetUserInfo(out Result: WideString); stdcall;
begin
  if Faulty('userInfo') then CrashHere;
  Result := UnicodeString('{"name":"张三","accountId":"A1","token":"T1","loginInfo":{"accountId":"A1"}}');
end;

procedure TUser.GetToken(out Result: WideString); stdcall;
begin
  Result := 'T1';
end;

procedure TUser.GetAccountId(out Result: WideString); stdcall;
begin
  Result := 'A1';
end;

procedure TUser.Refresh; stdcall;
begin
  J('refresh').Put;
end;

{ The logged-in user, read and set under the lock (the client calls from several threads). }
function Current: IZRAUser;
begin
  EnterCriticalSection(GLock);
  Result := GCurrent;
  LeaveCriticalSection(GLock);
end;

procedure SetCurrent(const User: IZRAUser);
begin
  EnterCriticalSection(GLock);
  GCurrent := User;
  LeaveCriticalSection(GLock);
end;

function TLoginManager.IsLoggedIn: TPasBoolEAX; stdcall;
begin
  Result := PasBool(Current <> nil);
end;

procedure TLoginManager.GetCurrentUser(out Result: IZRAUser); stdcall;
begin
  Result := Current;
end;

procedure TLoginManager.SetAppID(AppID: PWideChar); stdcall;
begin
  J('setAppID').Str('appId', WText(AppID)).Put;
end;

procedure TLoginManager.SetCurrentUser(const User: IZRAUser); stdcall;
begin
  SetCurrent(User);
  J('setCurrentUser').Bool('user', User <> nil).Put;
end;

procedure TAccount.GetLoginManager(out Result: IZRALoginManager); stdcall;
begin
  Result := GManager;
end;

procedure TAccount.InitApp(AppID, ProductKey, WebRoot: PWideChar); stdcall;
begin
  J('initApp').Str('appId', WText(AppID)).Str('productKey', WText(ProductKey)).Str('webRoot', WText(WebRoot)).Put;
  if Faulty('initApp') then RaiseAnsi('初始化失败：缺少产品密钥');
end;

procedure TAccount.Login(LoginName, Password: PWideChar; out Error: IZRAError; out User: IZRAUser); stdcall;
var
  Accepted: Boolean;
begin
  Accepted := (WText(LoginName) = 'u1') and (WText(Password) = 'p1');
  J('login').Str('loginName', WText(LoginName)).Bool('accepted', Accepted).Put;
  if WText(LoginName) = 'raise' then RaiseWide('网络连接失败：服务器无响应');
  if WText(LoginName) = 'crash' then CrashHere;
  if WText(LoginName) = 'threadcrash' then CrashOnThread;
  if Accepted then
    User := TUser.Create
  else
    Error := TError.Create;
end;

procedure TAccount.CreateLoginUser(LoginInfo: PWideChar; out User: IZRAUser); stdcall;
var
  Accepted: Boolean;
begin
  Accepted := Pos('"accountId":"A1"', WText(LoginInfo)) > 0;
  J('createLoginUser').Str('loginInfo', WText(LoginInfo)).Bool('accepted', Accepted).Put;
  if Accepted then User := TUser.Create;
end;

{ The record's entries. }
procedure InitProc(RecordVar: PPointer; Instance: THandle); stdcall;
begin
  J('init').Int('instance', Instance).Bool('recordVar', (RecordVar <> nil) and (RecordVar^ = @GRecord)).Put;
end;

procedure DoneProc(RecordVar: PPointer; Instance: THandle); stdcall;
begin
  J('done').Int('instance', Instance).Bool('recordVar', (RecordVar <> nil) and (RecordVar^ = @GRecord)).Put;
  SetCurrent(nil);
end;

procedure GetAccountProc(Rec: Pointer; out Result: IZRAccount); stdcall;
begin
  J('getAccount').Bool('record', Rec = @GRecord).Put;
  Result := GAccount;
end;

procedure Publish;
var
  Cls: TWndClassW;
  ClsA: TWndClassA;
begin
  GRecord[2] := @InitProc;
  GRecord[3] := @DoneProc;
  GRecord[5] := @GetAccountProc;
  if Faulty('ansiClass') then
  begin
    FillChar(ClsA, SizeOf(ClsA), 0);
    ClsA.lpfnWndProc := WNDPROC(@GRecord);
    ClsA.hInstance := GetModuleHandleW(nil);
    ClsA.lpszClassName := 'corvane.zraccount.class';
    RegisterClassA(ClsA);
    Exit;
  end;
  FillChar(Cls, SizeOf(Cls), 0);
  Cls.lpfnWndProc := WNDPROC(@GRecord);
  Cls.hInstance := GetModuleHandleW(nil);
  Cls.lpszClassName := kClassName;
  RegisterClassW(Cls);
end;

procedure Unpublish(Reason: PtrInt);
begin
  UnregisterClassW(kClassName, GetModuleHandleW(nil));
  UnregisterClassA('corvane.zraccount.class', GetModuleHandleW(nil));
end;

begin
  InitCriticalSection(GLock);
  OpenRecord(HInstance, 'ProbeAccount.jsonl');
  LoadFaults(HInstance);
  GAccount := TAccount.Create;
  GManager := TLoginManager.Create;
  Publish;
  Dll_Process_Detach_Hook := @Unpublish;
end.
