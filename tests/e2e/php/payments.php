<?php
/*
 * Plugin Name: Test site payments
 * Description: Test only. Captures every e-mail into the file E2E_MAIL_LOG names (one JSON line
 * each) instead of sending it, and points the plugins' PayPal confirmation at the local stub the
 * option "e2e_paypal_stub" names (plugin id => stub address). Nothing leaves the machine.
 */
add_filter(
    'pre_wp_mail',
    function ( $sent, $mail ) {
        $log = getenv( 'E2E_MAIL_LOG' );
        if ( $log ) {
            file_put_contents( $log, wp_json_encode( $mail, JSON_UNESCAPED_SLASHES ) . "\n", FILE_APPEND | LOCK_EX );
        }
        return true;
    },
    10,
    2
);

add_action(
    'plugins_loaded',
    function () {
        foreach ( (array) get_option( 'e2e_paypal_stub', array() ) as $id => $stub ) {
            // The stub learns which of PayPal's addresses (live or sandbox) the plugin chose.
            add_filter(
                $id . '_paypal_verify_url',
                function ( $url ) use ( $stub ) {
                    return $stub . '?was=' . rawurlencode( $url );
                }
            );
        }
    }
);
